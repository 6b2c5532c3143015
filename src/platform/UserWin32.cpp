#include "platform/UserWin32.h"

#include "platform/WideText.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <cstdlib>

namespace platform {

namespace {

constexpr const char* applicationFolder = "Habitorium Rent Analysis";

std::string environment(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value ? narrow(value) : std::string();
}

// "Habitorium Rent Analysis" in the user's local application data folder;
// empty when it cannot be told.
std::string localApplicationFolder() {
    std::string folder;
    PWSTR path = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &path)) && path)
        folder = narrow(path);
    CoTaskMemFree(path);
    if (folder.empty())
        folder = environment(L"LOCALAPPDATA");
    return folder.empty() ? std::string() : joinPath(folder, applicationFolder);
}

} // namespace

std::string Win32UserAccount::dataFolder() {
    // The local folder, not the roaming one: the journal belongs to this
    // machine's database and must not follow the user to other machines.
    return localApplicationFolder();
}

std::string Win32UserAccount::stateFolder() {
    return localApplicationFolder();
}

std::string Win32UserAccount::loginName() {
    wchar_t name[256 + 1] = {};
    DWORD size = 256 + 1;
    if (GetUserNameW(name, &size) && name[0] != L'\0')
        return narrow(name);
    return environment(L"USERNAME");
}

} // namespace platform

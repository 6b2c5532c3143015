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

} // namespace

std::string Win32UserAccount::dataFolder() {
    std::string folder;
    PWSTR path = nullptr;
    // The local folder, not the roaming one: the journal belongs to this
    // machine's database and must not follow the user to other machines.
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &path)) && path)
        folder = narrow(path);
    CoTaskMemFree(path);
    if (folder.empty())
        folder = environment(L"LOCALAPPDATA");
    if (folder.empty())
        return {};
    return joinPath(folder, applicationFolder);
}

std::string Win32UserAccount::stateFolder() {
    std::string folder;
    PWSTR path = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &path)) && path)
        folder = narrow(path);
    CoTaskMemFree(path);
    if (folder.empty())
        folder = environment(L"LOCALAPPDATA");
    if (folder.empty())
        return {};
    return joinPath(folder, applicationFolder);
}

std::string Win32UserAccount::loginName() {
    wchar_t name[256 + 1] = {};
    DWORD size = 256 + 1;
    if (GetUserNameW(name, &size) && name[0] != L'\0')
        return narrow(name);
    return environment(L"USERNAME");
}

} // namespace platform

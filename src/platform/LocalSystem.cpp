#include "platform/LocalSystem.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include "platform/WideText.h"

#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#endif

namespace platform {

LocalTime SystemClock::now() {
#ifdef _WIN32
    // Windows' own clock: the C runtime's time_t has 32 bits in a 32-bit
    // build, which end in January 2038.
    SYSTEMTIME local{};
    GetLocalTime(&local);
    return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
#else
    // A 32-bit build asks glibc for 64 bits (CMakeLists.txt).
    static_assert(sizeof(std::time_t) >= 8, "a 32-bit time_t ends in January 2038");
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
#endif
}

std::string LocalFileSystem::programFolder() {
#ifdef _WIN32
    // The executable's full path, UTF-16, however long; the folder is what
    // comes before its last separator.
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
        if (n == 0)
            return {};
        if (n < exe.size()) {
            exe.resize(n);
            break;
        }
        exe.resize(exe.size() * 2);
    }
    const std::size_t separator = exe.find_last_of(L"\\/");
    return narrow(separator == std::wstring::npos ? std::wstring() : exe.substr(0, separator));
#else
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return std::filesystem::current_path(ec).string();
    return exe.parent_path().string();
#endif
}

bool LocalFileSystem::isNormalFile(const std::string& path) {
    // A directory search with normal attributes: the entry must be an ordinary
    // file and not hidden. Errors (an unreachable folder) count as "not found".
#ifdef _WIN32
    // A wildcard would make the search match other names: such a path names no file.
    if (path.empty() || path.find_first_of("*?") != std::string::npos)
        return false;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(widen(path).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return !(found.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY));
#else
    std::error_code ec;
    std::filesystem::path p(path);
    if (!std::filesystem::is_regular_file(p, ec) || ec)
        return false;
    std::string name = p.filename().string();
    return !name.empty() && name[0] != '.';
#endif
}

bool LocalFileSystem::isFolder(const std::string& path) {
    if (path.empty())
        return false;
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
#else
    std::error_code ec;
    return std::filesystem::is_directory(std::filesystem::path(path), ec) && !ec;
#endif
}

#ifndef _WIN32
std::string xdgStateFolder(const std::string& name) {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/')
        return joinPath(state, name);
    std::string home;
    if (const char* fromEnvironment = std::getenv("HOME"); fromEnvironment && fromEnvironment[0] == '/')
        home = fromEnvironment;
    else if (const passwd* account = getpwuid(geteuid()); account && account->pw_dir)
        home = account->pw_dir;
    if (home.empty())
        return {};
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return joinPath(joinPath(joinPath(home == "/" ? std::string() : home, ".local"), "state"), name);
}
#endif

} // namespace platform

#include "platform/LocalSystem.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace platform {

LocalTime SystemClock::now() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

std::string LocalFileSystem::programFolder() {
    std::error_code ec;
#ifdef _WIN32
    char buffer[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::filesystem::path exe(std::string(buffer, n));
#else
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return std::filesystem::current_path(ec).string();
#endif
    return exe.parent_path().string();
}

bool LocalFileSystem::isNormalFile(const std::string& path) {
    // A directory search with normal attributes: the entry must be an ordinary
    // file and not hidden. Errors (an unreachable folder) count as "not found".
    std::error_code ec;
    std::filesystem::path p(path);
    if (!std::filesystem::is_regular_file(p, ec) || ec)
        return false;
#ifdef _WIN32
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY));
#else
    std::string name = p.filename().string();
    return !name.empty() && name[0] != '.';
#endif
}

bool LocalFileSystem::isFolder(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(std::filesystem::path(path), ec) && !ec;
}

} // namespace platform

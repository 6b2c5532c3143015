#include "cli/OutputFile.h"

#include "platform/LocalSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

namespace cli {

namespace {

// The temporary file beside path that the list is written to before it
// takes the name: hidden, and not a name a user would pick.
std::string temporaryBeside(const std::string& path) {
#ifdef _WIN32
    const std::size_t separator = path.find_last_of("\\/:");
#else
    const std::size_t separator = path.find_last_of('/');
#endif
    const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    std::random_device random;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    return path.substr(0, nameStart) + "." + path.substr(nameStart) + "." + suffix + ".partial";
}

std::FILE* openForWriting(const std::string& path) {
#ifdef _WIN32
    return _wfopen(platform::nativePath(path).c_str(), L"wb");
#else
    return std::fopen(path.c_str(), "wb");
#endif
}

} // namespace

bool IsDatabaseFile(const std::string& path) {
    std::ifstream in(platform::nativePath(path), std::ios::binary);
    char header[20] = {};
    in.read(header, sizeof header);
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got >= 16 && std::memcmp(header, "SQLite format 3\0", 16) == 0)
        return true;
    return got >= 19 &&
           (std::memcmp(header + 4, "Standard Jet DB", 15) == 0 || std::memcmp(header + 4, "Standard ACE DB", 15) == 0);
}

bool WriteFileWhole(const std::string& path, const std::string& bytes, std::string& why) {
    platform::LocalFileSystem files;
    if (files.isFolder(path)) {
        why = "it is a folder";
        return false;
    }
    const std::string temporary = temporaryBeside(path);
    errno = 0;
    std::FILE* file = openForWriting(temporary);
    if (!file) {
        why = errno ? std::strerror(errno) : "the file cannot be created";
        return false;
    }
    errno = 0;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fflush(file) == 0 && written;
    if (!written)
        why = errno ? std::strerror(errno) : "the file cannot be written";
    if (std::fclose(file) != 0 && written) {
        written = false;
        why = errno ? std::strerror(errno) : "the file cannot be written";
    }
    std::error_code ec;
    if (written) {
        std::filesystem::rename(platform::nativePath(temporary), platform::nativePath(path), ec);
        if (!ec)
            return true;
        why = ec.message();
    }
    std::filesystem::remove(platform::nativePath(temporary), ec);
    return false;
}

} // namespace cli

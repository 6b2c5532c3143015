#include "Recorders.h"

#include "platform/LocalSystem.h"

#include <atomic>
#include <cstdio>
#include <random>
#include <unistd.h>

bool TestFileSystem::isNormalFile(const std::string& path) {
    return platform::LocalFileSystem().isNormalFile(path);
}

bool TestFileSystem::isFolder(const std::string& path) {
    return platform::LocalFileSystem().isFolder(path);
}

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    std::random_device rd;
    for (;;) {
        path_ =
            std::filesystem::temp_directory_path() / ("habitorium-test-" + std::to_string(::getpid()) + "-" +
                                                      std::to_string(counter++) + "-" + std::to_string(rd() % 100000));
        if (std::filesystem::create_directory(path_))
            break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string BritishLocale::shortDate(int year, int month, int day) const {
    char text[64];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", day, month, year);
    return text;
}

std::string BritishLocale::shortTime(int hour, int minute) const {
    char text[64];
    std::snprintf(text, sizeof text, "%02d:%02d", hour, minute);
    return text;
}

std::string BritishLocale::monthAbbreviation(int month) const {
    static const char* const names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return month >= 1 && month <= 12 ? names[month - 1] : "";
}

#pragma once
// The clock and file system of the machine the tool runs on.

#include "platform/Seams.h"

namespace platform {

class SystemClock : public Clock {
public:
    LocalTime now() override;
};

class LocalFileSystem : public FileSystem {
public:
    std::string programFolder() override;
    bool isNormalFile(const std::string& path) override;
    bool isFolder(const std::string& path) override;
};

} // namespace platform

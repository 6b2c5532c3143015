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

#ifndef _WIN32
// The user's state folder for the named application, as the XDG base
// directories lay it down: $XDG_STATE_HOME/name when that is an absolute
// path, else ~/.local/state/name (the home from $HOME, else the account's).
// Empty when no home can be told.
std::string xdgStateFolder(const std::string& name);
#endif

} // namespace platform

#pragma once
// Everything the window needs of the platform, handed in by main.cpp (or a test).

#include "platform/Registry.h"
#include "platform/Seams.h"

namespace platform {

struct Platform {
    MessageBox& messages;
    Program& program;
    Clock& clock;
    FileSystem& files;
    Registry& registry;
    UserAccount& user;
    Locale& locale;
};

} // namespace platform

# What the two MinGW-w64 toolchain files share (mingw-w64-x86_64.cmake,
# mingw-w64-i686.cmake): they set triple, the target's name for Debian's
# cross tools, then include this file. The programs are linked statically
# against the C and C++ runtimes and the threads library, so an .exe needs
# nothing but Windows' own DLLs; under Wine they run as they would on Windows.
set(CMAKE_SYSTEM_NAME Windows)

# The POSIX threads variant: with it std::thread and std::mutex exist (the
# win32 variant of GCC 12 has neither). Debian's alternative for the plain
# name points at the win32 variant, so the variant is named here.
find_program(CMAKE_CXX_COMPILER NAMES ${triple}-g++-posix ${triple}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${triple}-gcc-posix ${triple}-gcc REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${triple}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# A library found by its path (odbc32 from FindODBC) is linked between
# -Bstatic and -Bdynamic; ending the line static keeps the C++ runtime
# static after it.
set(CMAKE_LINK_SEARCH_START_STATIC ON)
set(CMAKE_LINK_SEARCH_END_STATIC ON)

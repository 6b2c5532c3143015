# Cross compiling for 32-bit Windows with Debian's MinGW-w64 (package
# g++-mingw-w64-i686); the rest is in mingw-w64.cmake. The 32-bit build is
# the one that can load the Jet Access driver every Windows carries, which
# exists in 32 bits only.
#
#   cmake -S . -B build-windows-x86 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(triple i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
# Large-address-aware: on 64-bit Windows the process may use 4 GB of address
# space rather than 2, so a large batch does not run out of it long before
# the machine runs out of memory. The 64-bit linker sets the flag by itself.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,--large-address-aware")

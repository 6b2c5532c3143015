# Cross compiling for 64-bit Windows with Debian's MinGW-w64 (package
# g++-mingw-w64-x86-64); the rest is in mingw-w64.cmake.
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

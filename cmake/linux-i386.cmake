# A 32-bit (i386) Linux build on a 64-bit Debian, with the machine's own GCC
# (-m32, package g++-multilib) and the i386 libraries of Debian's multiarch
# (unixodbc-dev:i386, libsqlite3-dev:i386, libgtest-dev:i386...). Its
# programs run under qemu-i386 (package qemu-user), which CMake and CTest put
# before each program they run: the test listing, the tests.
#
#   cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i386.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)

# The kernel may have no IA-32 emulation: every 32-bit program runs under qemu.
find_program(HABITORIUM_QEMU_I386 qemu-i386 REQUIRED DOC "qemu-i386, of the Debian package qemu-user")
set(CMAKE_CROSSCOMPILING_EMULATOR ${HABITORIUM_QEMU_I386})

# Qt's code generators (moc, rcc) are the machine's own 64-bit ones.
set(QT_HOST_PATH /usr CACHE PATH "Where the Qt that runs at build time is")

# Libraries from the i386 folders only; programs are the machine's own.
set(CMAKE_FIND_ROOT_PATH /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu /usr/include/x86_64-linux-gnu)

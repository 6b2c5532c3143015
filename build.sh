#!/usr/bin/env bash
# Set-up, build, run and test on Debian 12 (as root, or with sudo rights).
#
#   ./build.sh run     install what is missing, build, start the tool on the sample database
#   ./build.sh test    install what is missing, build, run every test
#   ./build.sh windows build the Windows executables with MinGW-w64, 64-bit in build-windows,
#                      32-bit in build-windows-x86: each dist/habitorium-rent-analysis.exe,
#                      one file to copy beside the host application, and its installer,
#                      build-windows/dist/habitorium-rent-analysis-<version>-x64.msi and
#                      build-windows-x86/dist/habitorium-rent-analysis-<version>-x86.msi
#   ./build.sh package build the Debian package build/habitorium-rent-analysis_<version>_amd64.deb
#   ./build.sh windows-test
#                      cross-build the Windows tool and its tests with MinGW-w64
#                      (into build-windows) and run them under Wine and Xvfb; build
#                      the 32-bit tool and installer (into build-windows-x86) and
#                      check them from their files
#   ./build.sh test32  build the tool and its tests as 32-bit Linux programs (g++ -m32,
#                      Debian's i386 libraries, into build-i386) and run the tests
#                      under qemu-i386, against SQLite and, through the i386 ODBC
#                      drivers, the tests' own PostgreSQL server
#
# Environment: BUILD_DIR (default build; build-windows for windows and windows-test,
# the 32-bit build beside it with -x86 added), BUILD_TYPE (default RelWithDebInfo),
# CMAKE_ARGS (extra configure flags).
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake ninja-build g++ pkg-config qt6-base-dev libsqlite3-dev libgtest-dev libgmock-dev
          libbenchmark-dev sqlite3 xvfb xauth xdotool x11-utils python3 python3-xlib
          unixodbc-dev libsqliteodbc odbc-postgresql postgresql postgresql-contrib iproute2)
# The Windows programs (64-bit and 32-bit), their icon (icotool) and installers (wixl).
windows_build_packages=(cmake ninja-build g++-mingw-w64-x86-64 g++-mingw-w64-i686 python3 icoutils wixl)
# The Debian package: its checker, and what the package's build reads.
package_packages=(dpkg-dev lintian file gzip)
# The Windows build and its test run under Wine, against the host's ODBC drivers.
windows_packages=("${windows_build_packages[@]}" googletest wine64 unixodbc-dev libsqliteodbc
                  odbc-postgresql postgresql xvfb xauth xdotool python3-pefile msitools)
# The 32-bit Linux build: the compiler's 32-bit half and qemu-user for the
# machine, the libraries as Debian's i386 packages (multiarch), the
# PostgreSQL server the tests start as the machine's own.
linux32_packages=(cmake ninja-build g++ g++-multilib qemu-user python3 postgresql postgresql-contrib)
linux32_i386_packages=(libsqlite3-dev:i386 unixodbc-dev:i386 libsqliteodbc:i386 odbc-postgresql:i386
                       libgtest-dev:i386 qt6-base-dev:i386)
build_dir=${BUILD_DIR:-build}

install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo=sudo
        $sudo apt-get update -q
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
    fi
}

build() {
    # shellcheck disable=SC2086
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" ${CMAKE_ARGS:-}
    cmake --build "$build_dir" --parallel "$(nproc)"
}

# Configures a Windows build in $2 with the MinGW-w64 toolchain $1 (x86_64 or
# i686); more configure flags may follow.
windows_configure() {
    local toolchain=$1 dir=$2
    shift 2
    # shellcheck disable=SC2086
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
        -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-$toolchain.cmake" "$@" ${CMAKE_ARGS:-}
}

# The 32-bit program and its installer, in $1 (only these: its tests cannot
# run on this machine).
windows_build_x86() {
    windows_configure i686 "$1"
    cmake --build "$1" --parallel "$(nproc)" --target habitorium-rent-analysis msi
}

case "${1:-}" in
run)
    install_missing "${packages[@]}"
    build
    database="$build_dir/property.mdb"
    if [ ! -f "$database" ]; then
        "$build_dir/habitorium-sample-db" "$database"
    fi
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "No display: starting the tool under Xvfb (xvfb-run)."
        exec xvfb-run -a "$build_dir/habitorium-rent-analysis"
    fi
    exec "$build_dir/habitorium-rent-analysis"
    ;;
test)
    install_missing "${packages[@]}"
    build
    ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" --timeout 900
    ;;
package)
    install_missing "${packages[@]}" "${package_packages[@]}"
    build
    (cd "$build_dir" && cpack -G DEB)
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
    deb="$build_dir/habitorium-rent-analysis_${version}_amd64.deb"
    [ -f "$deb" ] || { echo "cpack made no $deb" >&2; exit 1; }
    # Debian's checks of the package: any error fails the build.
    lintian --fail-on error --no-tag-display-limit "$deb"
    echo "Built $deb ($(du -k "$deb" | cut -f1) KiB)"
    ;;
windows)
    install_missing "${windows_build_packages[@]}"
    build_dir=${BUILD_DIR:-build-windows}
    windows_configure x86_64 "$build_dir"
    cmake --build "$build_dir" --parallel "$(nproc)" --target habitorium-rent-analysis msi
    windows_build_x86 "$build_dir-x86"
    # The copies to hand out: without their debugging symbols, in a folder of their own.
    for build in "x86_64 $build_dir x64" "i686 $build_dir-x86 x86"; do
        read -r triple dir arch <<<"$build"
        mkdir -p "$dir/dist"
        program=$dir/dist/habitorium-rent-analysis.exe
        "$triple-w64-mingw32-strip" -o "$program" "$dir/habitorium-rent-analysis.exe"
        echo "Built $program ($(du -k "$program" | cut -f1) KiB)"
        for msi in "$dir"/dist/habitorium-rent-analysis-*-"$arch".msi; do
            echo "Built $msi ($(du -k "$msi" | cut -f1) KiB)"
        done
    done
    ;;
windows-test)
    install_missing "${windows_packages[@]}"
    build_dir=${BUILD_DIR:-build-windows}
    # The 32-bit build first: the 64-bit run installs its installer under Wine too.
    windows_build_x86 "$build_dir-x86"
    ctest --test-dir "$build_dir-x86" --output-on-failure
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir-x86/CMakeCache.txt")
    windows_configure x86_64 "$build_dir" \
        "-DHABITORIUM_WINE_MSI_X86=$(cd "$build_dir-x86" && pwd)/dist/habitorium-rent-analysis-$version-x86.msi"
    cmake --build "$build_dir" --parallel "$(nproc)"
    ctest --test-dir "$build_dir" --output-on-failure --timeout 1200
    ;;
test32)
    # The i386 packages install beside the amd64 ones once dpkg knows the architecture.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        sudo=""
        [ "$(id -u)" -eq 0 ] || sudo=sudo
        $sudo dpkg --add-architecture i386
    fi
    install_missing "${linux32_packages[@]}" "${linux32_i386_packages[@]}"
    build_dir=${BUILD_DIR:-build-i386}
    CMAKE_ARGS="-DCMAKE_TOOLCHAIN_FILE=$PWD/cmake/linux-i386.cmake -DHABITORIUM_BUILD_BENCH=OFF ${CMAKE_ARGS:-}" build
    ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" --timeout 900
    ;;
*)
    echo "usage: $0 run|test|package|windows|windows-test|test32" >&2
    exit 2
    ;;
esac

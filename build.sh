#!/usr/bin/env bash
# Set-up, build, run and test on Debian 12 (as root, or with sudo rights).
#
#   ./build.sh run     install what is missing, build, start the tool on the sample database
#   ./build.sh test    install what is missing, build, run every test
#   ./build.sh windows build the Windows executable with MinGW-w64 (in build-windows):
#                      build-windows/dist/habitorium-rent-analysis.exe, one file to copy
#                      beside the host application, and its installer,
#                      build-windows/dist/habitorium-rent-analysis-<version>-x64.msi
#   ./build.sh package build the Debian package build/habitorium-rent-analysis_<version>_amd64.deb
#   ./build.sh windows-test
#                      cross-build the Windows tool and its tests with MinGW-w64
#                      (into build-windows) and run them under Wine and Xvfb
#   ./build.sh test32  build the tool and its tests as 32-bit Linux programs (g++ -m32,
#                      Debian's i386 libraries, into build-i386) and run the tests
#                      under qemu-i386, against SQLite and, through the i386 ODBC
#                      drivers, the tests' own PostgreSQL server
#
# Environment: BUILD_DIR (default build; build-windows for windows and windows-test),
# CMAKE_ARGS (extra configure flags).
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake ninja-build g++ pkg-config qt6-base-dev libsqlite3-dev libgtest-dev libgmock-dev
          libbenchmark-dev sqlite3 xvfb xauth xdotool x11-utils python3 python3-xlib
          unixodbc-dev libsqliteodbc odbc-postgresql postgresql postgresql-contrib iproute2)
# The Windows program's icon (icotool) and installer (wixl).
windows_build_packages=(cmake ninja-build g++-mingw-w64-x86-64 python3 icoutils wixl)
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
    # shellcheck disable=SC2086
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
        -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" ${CMAKE_ARGS:-}
    cmake --build "$build_dir" --parallel "$(nproc)" --target habitorium-rent-analysis msi
    # The copy to hand out: without its debugging symbols, in a folder of its own.
    mkdir -p "$build_dir/dist"
    x86_64-w64-mingw32-strip -o "$build_dir/dist/habitorium-rent-analysis.exe" "$build_dir/habitorium-rent-analysis.exe"
    echo "Built $build_dir/dist/habitorium-rent-analysis.exe ($(du -k "$build_dir/dist/habitorium-rent-analysis.exe" | cut -f1) KiB)"
    for msi in "$build_dir"/dist/habitorium-rent-analysis-*-x64.msi; do
        echo "Built $msi ($(du -k "$msi" | cut -f1) KiB)"
    done
    ;;
windows-test)
    install_missing "${windows_packages[@]}"
    build_dir=${BUILD_DIR:-build-windows}
    CMAKE_ARGS="-DCMAKE_TOOLCHAIN_FILE=$PWD/cmake/mingw-w64-x86_64.cmake ${CMAKE_ARGS:-}" build
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

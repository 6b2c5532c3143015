#!/usr/bin/env bash
# Compiles the Windows registry code (and the registry file code that Windows
# builds too) with a MinGW-w64 cross compiler, warnings as errors, so that a
# Linux machine catches what would break the Windows build. MINGW_CXX names the
# compiler: x86_64-w64-mingw32-g++ (the default) for 64-bit Windows,
# i686-w64-mingw32-g++ for 32-bit Windows, where pointers and DWORDs are the
# same size.
set -euo pipefail

compiler=${MINGW_CXX:-x86_64-w64-mingw32-g++}
if ! command -v "$compiler" >/dev/null 2>&1; then
    echo "mingw-check: $compiler not found; install the Debian package g++-mingw-w64-x86-64 or g++-mingw-w64-i686" >&2
    exit 2
fi

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

status=0
for source in src/platform/RegistryWin32.cpp src/platform/RegistryFile.cpp src/platform/RegistryFileFormat.cpp; do
    echo "mingw-check ($compiler): $source"
    if ! "$compiler" -std=c++20 -Wall -Wextra -Wpedantic -Werror -I"$root/src" \
        -c "$root/$source" -o "$out/$(basename "$source" .cpp).o"; then
        status=1
    fi
done

# Link the registry code with the settings reader: exactly one systemRegistry()
# must be defined on Windows, and advapi32 must supply the rest.
if [ "$status" -eq 0 ]; then
    echo "mingw-check: linking with src/general/Settings.cpp"
    cat >"$out/main.cpp" <<'CPP'
#include "general/Settings.h"
int main() {
    auto registry = platform::systemRegistry();
    return GetAppSetting(*registry, "Settings", "APPPath", "").size() > 0 ? 1 : 0;
}
CPP
    if ! "$compiler" -std=c++20 -Wall -Wextra -Wpedantic -Werror -I"$root/src" \
        "$out/main.cpp" "$root/src/general/Settings.cpp" "$out"/*.o -ladvapi32 -o "$out/check.exe"; then
        status=1
    fi
fi

if [ "$status" -ne 0 ]; then
    echo "mingw-check: FAILED" >&2
else
    echo "mingw-check: ok"
fi
exit "$status"

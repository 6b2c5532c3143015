#!/usr/bin/env bash
# Runs the Windows build's test programs under Wine, once, in surroundings of
# their own, and fails on any failure or any missing piece:
#
#   - a Wine prefix made for this run (inside the build folder, removed after),
#     with HOME pointed there too so that Wine leaves the user's folders alone;
#   - Wine's odbc32 hands ODBC calls to the host's unixODBC, which finds the
#     drivers in a test-local odbcinst.ini (ODBCSYSINI): the SQLite ODBC driver
#     over a fresh database file (also registered under the Access driver's
#     name), and the PostgreSQL driver against a server
#     this script starts and stops (tests/e2e/lib/postgres.sh: initdb and
#     pg_ctl as the postgres system user, on a private port on 127.0.0.1);
#   - the connection strings reach the programs in environment variables
#     (HABITORIUM_TEST_ODBC: the PostgreSQL database of the engine's tests);
#   - a UTF-8 locale, in which unixODBC passes text to the drivers;
#   - an X server of its own (Xvfb on a display it picks) for the programs
#     that open windows, and for the end-to-end scripts given after --e2e,
#     which run last in the same prefix (tests/wine/e2e/lib.sh).
#
# usage: run-tests.sh BUILD_DIR PROGRAM.exe... [--e2e SCRIPT.sh...]
set -euo pipefail

build_dir=$(cd "$1" && pwd)
shift
programs=()
scripts=()
while [ $# -gt 0 ] && [ "$1" != "--e2e" ]; do
    programs+=("$1")
    shift
done
[ $# -gt 0 ] && shift
scripts=("$@")
set -- "${programs[@]}"
[ $# -gt 0 ] || { echo "usage: $0 BUILD_DIR PROGRAM.exe... [--e2e SCRIPT.sh...]" >&2; exit 2; }

fail() {
    echo "wine tests: $*" >&2
    exit 1
}

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
odbc_drivers=/usr/lib/x86_64-linux-gnu/odbc
# Debian 12's wine launcher looks for the 32-bit loader first; the 64-bit
# loader is started directly.
[ -x "$wine" ] || fail "$wine is missing: install the Debian package wine64"
[ -x "$wineserver" ] || fail "$wineserver is missing: install the Debian package wine64"
[ -e /usr/lib/x86_64-linux-gnu/libodbc.so.2 ] || fail "unixODBC is missing: install unixodbc-dev"
[ -e "$odbc_drivers/libsqlite3odbc.so" ] || fail "the SQLite ODBC driver is missing: install libsqliteodbc"
[ -e "$odbc_drivers/psqlodbcw.so" ] || fail "the PostgreSQL ODBC driver is missing: install odbc-postgresql"
compgen -G "/usr/lib/postgresql/*/bin/initdb" >/dev/null || fail "PostgreSQL is missing: install postgresql"
id postgres >/dev/null 2>&1 || fail "there is no postgres system user: install postgresql"
command -v Xvfb >/dev/null || fail "Xvfb is missing: install the Debian package xvfb"
[ ${#scripts[@]} -eq 0 ] || command -v xdotool >/dev/null || fail "xdotool is missing: install xdotool"
objdump=x86_64-w64-mingw32-objdump
command -v "$objdump" >/dev/null || fail "$objdump is missing: install binutils-mingw-w64-x86-64"
# The tool itself (for the end-to-end scripts) is held to the same rule.
for program in "$@" ${HABITORIUM_WINE_APP:+"$HABITORIUM_WINE_APP"}; do
    [ -f "$program" ] || fail "$program has not been built"
    # Linked statically: nothing but Windows' own DLLs (a MinGW runtime DLL,
    # lib*.dll, is on no Windows machine and in no Wine prefix).
    runtime=$("$objdump" -p "$program" | sed -n 's/^\s*DLL Name: //p' | grep -i '^lib' || true)
    [ -z "$runtime" ] || fail "$program needs $(echo "$runtime" | tr '\n' ' ')- it must be linked statically"
done

work=$(mktemp -d "$build_dir/wine-run.XXXXXX")
# The server's folder is one the postgres user can reach whatever the clone's
# own folders allow: a temporary folder of the system's.
pg_work=$(mktemp -d)
chmod 755 "$pg_work"
xvfb_pid=""

cleanup() {
    local status=$?
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        "$wineserver" -k 2>/dev/null || true
        "$wineserver" -w 2>/dev/null || true
    fi
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    if declare -F stop_postgres >/dev/null; then
        stop_postgres
    fi
    rm -rf "$work" "$pg_work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

now() { date +%s.%N; }
seconds_since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

# --- Wine ------------------------------------------------------------------
export HOME=$work/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
# No menu entries, no .NET or HTML engine to install: none is needed here.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
# The prefix is made without a display; the X server comes after.
unset DISPLAY WAYLAND_DISPLAY
# unixODBC hands a driver without wide-character calls (the SQLite ODBC
# driver) its statements in the character set of the locale; in the C locale
# "Zoë" would reach the database as Latin-1. A Windows program has no say in
# the Unix locale Wine runs under, so the run fixes it.
export LC_ALL=C.UTF-8
mkdir -p "$HOME"

started=$(now)
"$wine" wineboot --init >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log" >&2; fail "wineboot failed"; }
"$wineserver" -w
[ -f "$WINEPREFIX/system.reg" ] || { cat "$work/wineboot.log" >&2; fail "wineboot made no prefix"; }
echo "wine tests: prefix ready in $(seconds_since "$started") s"

# --- PostgreSQL and ODBC ---------------------------------------------------
# The end-to-end checks' helper: the server, and an odbcinst.ini naming both
# drivers as the tests' connection strings do (ODBCSYSINI, ODBCINI).
started=$(now)
# shellcheck source=../e2e/lib/postgres.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib/postgres.sh"
start_postgres "$pg_work" || fail "the PostgreSQL server did not start"
echo "wine tests: PostgreSQL in $(seconds_since "$started") s"
# The drivers are Linux libraries: paths in connection strings are Linux paths
# (the engine's tests ask Wine for them).
export HABITORIUM_TEST_ODBC=$pg_odbc
export HABITORIUM_WINE_ODBC_POSTGRES=$pg_odbc
export HABITORIUM_WINE_ODBC_SQLITE="Driver={Habitorium SQLite3};Database=$work/odbc-sqlite.db"
# The Jet driver every Windows has, by its name: here the SQLite ODBC driver,
# which the Windows build must find among those the driver manager lists for
# a Jet file, and no driver for an ACE file (AccessFileTest.cpp).
printf '\n[Microsoft Access Driver (*.mdb)]\nDriver=%s\n' "$odbc_drivers/libsqlite3odbc.so" >>"$ODBCSYSINI/odbcinst.ini"

# --- X server --------------------------------------------------------------
# For the window tests and the end-to-end scripts; Xvfb picks a free display
# and writes its number to the pipe. 96 DPI, as the window tests expect.
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
[ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; fail "could not start Xvfb"; }
export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"

# --- The programs ----------------------------------------------------------
# One server for all of them, kept until the end: a server that ends on its
# own once a program has left can meet the next one's connection as it goes
# ("wine client error:0: recvmsg: Connection reset by peer", which failed a
# program of CI before it ran a test).
"$wineserver" -p
status=0
total=0
for program in "$@"; do
    name=$(basename "$program" .exe)
    log=$work/$name.log
    started=$(now)
    set +e
    "$wine" "$program" --gtest_color=no >"$log" 2>&1
    rc=$?
    set -e
    cat "$log"
    ran=$(sed -n 's/^\[==========\] \([0-9]*\) tests\? from .* ran\..*/\1/p' "$log" | tail -1)
    if [ "$rc" -ne 0 ]; then
        echo "wine tests: $name FAILED (exit status $rc) in $(seconds_since "$started") s" >&2
        status=1
    elif [ -z "$ran" ] || [ "$ran" -eq 0 ]; then
        echo "wine tests: $name ran no tests" >&2
        status=1
    else
        echo "wine tests: $name: $ran tests passed in $(seconds_since "$started") s"
        total=$((total + ran))
    fi
done

# --- End to end ------------------------------------------------------------
export wine wineserver work
for script in "${scripts[@]}"; do
    name=$(basename "$script" .sh)
    started=$(now)
    if bash "$script"; then
        echo "wine tests: e2e $name passed in $(seconds_since "$started") s"
        total=$((total + 1))
    else
        echo "wine tests: e2e $name FAILED in $(seconds_since "$started") s" >&2
        status=1
    fi
    # Nothing of one script is left running for the next.
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
done

[ "$status" -eq 0 ] || fail "FAILED"
echo "wine tests: all $total tests passed"

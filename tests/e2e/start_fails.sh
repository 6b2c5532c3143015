#!/usr/bin/env bash
# Starts that cannot succeed, with the real executable: each says why in its
# boxes (closed here with Return, one by one) and the tool then ends with a
# non-zero status, so scripts and service monitors see it.
set -euo pipefail
source "$(dirname "$0")/lib/xserver.sh"

# Boxes are the windows named as the tool that are not its fixed-size window.
box_ids() {
    local id
    for id in $(windows_named); do
        xdotool getwindowgeometry "$id" 2>/dev/null | grep -q "Geometry: 501x384" || echo "$id"
    done
}

box_has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }

# Runs the tool until it ends, closing each box it shows; prints the number of
# boxes and the exit status.
run_closing_boxes() {
    "$app" &
    app_pid=$!
    local boxes=0 box
    for _ in $(seq 300); do
        kill -0 "$app_pid" 2>/dev/null || break
        box=$(box_ids | head -n 1)
        if [ -n "$box" ]; then
            wait_until 10 box_has_focus "$box" || { echo "a box did not take the keyboard focus" >&2; break; }
            xdotool key Return
            boxes=$((boxes + 1))
            for _ in $(seq 50); do
                xdotool getwindowname "$box" >/dev/null 2>&1 || break
                sleep 0.1
            done
        fi
        sleep 0.1
    done
    local status=0
    wait_for_exit || status=$?
    app_pid=""
    echo "$boxes $status"
}

start_xserver
# The program's own folder must hold no database: a copy of the tool in a fresh one.
mkdir -p "$work/bin"
cp "$app" "$work/bin/"
app="$work/bin/$(basename "$app")"

# The configured database is a folder: it is called one, the open fails, the start fails.
mkdir -p "$work/x/property.mdb"
point_registry_at "$work/x/property.mdb"
read -r boxes status < <(run_closing_boxes)
echo "a folder for the database: $boxes boxes, exit status $status"
[ "$boxes" -eq 3 ] || { echo "expected 3 boxes (folder, failed open, unable to start)" >&2; exit 1; }
[ "$status" -eq 1 ] || { echo "a failed start must exit with status 1" >&2; exit 1; }
grep -q "is a folder, not a database file" "$work/bin/"err*.log ||
    { echo "the failed open is not in the error log" >&2; exit 1; }

# A settings file of random bytes: one box about it, then the defaults, which
# find no database here either.
head -c 300 /dev/urandom >"$work/random.reg"
export HABITORIUM_REGISTRY="$work/random.reg"
read -r boxes status < <(run_closing_boxes)
echo "a settings file of random bytes: $boxes boxes, exit status $status"
[ "$boxes" -eq 4 ] || { echo "expected 4 boxes (settings, file not found, failed open, unable to start)" >&2; exit 1; }
[ "$status" -eq 1 ] || { echo "a failed start must exit with status 1" >&2; exit 1; }
echo "start_fails: ok"

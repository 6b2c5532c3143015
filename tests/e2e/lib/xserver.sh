# Helpers for the end-to-end checks: a private Xvfb display, a registry file
# that points the tool at a database, and window look-ups with xdotool.
# Sourced by the tests in this folder; each runs `bash test.sh APP SAMPLE_DB`,
# and this sets app, sample and here (the tests' folder) from that.

app=$1
sample=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "missing $tool (install xvfb and xdotool)" >&2; exit 1; }
done

# Debian's own interpreter, which has python3-xlib.
python=/usr/bin/python3
[ -x "$python" ] || python=python3

work=$(mktemp -d)
# The tool's own data (its repair journal) goes under the test's folder.
export XDG_DATA_HOME="$work/data"
app_pid=""
xvfb_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

start_xserver() {
    # Xvfb picks a free display itself and writes its number to the pipe.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    [ -s "$work/display" ] || { echo "could not start Xvfb:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
    export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
    unset QT_QPA_PLATFORM
}

# A registry file that makes the tool open $1.
point_registry_at() {
    cat >"$work/registry.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Habitorium\\Settings]
"Networkable"=dword:00000001
"DatabaseLocation"="$1"
REG
    export HABITORIUM_REGISTRY="$work/registry.reg"
}

# Starts the tool on the database $1 and waits for its window; sets $window.
start_tool_on() {
    point_registry_at "$1"
    "$app" &
    app_pid=$!
    window=$(wait_for_window)
    sleep 0.5
}

# Presses Exit and waits for the tool to end.
exit_tool() {
    click_twips "$window" $((3120 + 700)) $((4320 + 180))
    wait_for_exit
    app_pid=""
}

# Windows named exactly as the tool's title (the window and any message box).
windows_named() { xdotool search --onlyvisible --name '^Habitorium Rent Analysis$' 2>/dev/null || true; }

wait_for_window() {
    local id
    for _ in $(seq 200); do
        id=$(windows_named | head -n 1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        kill -0 "$app_pid" 2>/dev/null || { echo "the tool exited early" >&2; return 1; }
        sleep 0.1
    done
    echo "no window named Habitorium Rent Analysis appeared" >&2
    return 1
}

# Clicks at a position given in twips inside the window's client area.
click_twips() {
    xdotool mousemove --window "$1" $(( $2 / 15 )) $(( $3 / 15 )) click 1
}

# Waits until exactly $1 windows (the tool's and its boxes) are shown.
wait_for_windows() {
    for _ in $(seq 100); do
        [ "$(windows_named | wc -l)" -eq "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# Presses Ctrl+Z in the window, then Enter in the box that appears (OK of the
# confirmation, or the message that there is nothing to undo), and waits
# until the box has gone.
undo_with_enter() {
    click_twips "$window" $((120 + 200)) $((240 + 120)) # on the caption "Database Location": the keys go to the window
    sleep 0.2
    # On a busy machine the focus may come late; a repeated Ctrl+Z goes to the box, which ignores it.
    local attempt
    for attempt in 1 2 3; do
        xdotool key ctrl+z
        wait_for_windows 2 && break
        [ "$attempt" -lt 3 ] || { echo "no box appeared on Ctrl+Z" >&2; return 1; }
    done
    sleep 0.3
    xdotool key Return
    wait_for_windows 1 || { echo "the box did not go on Enter" >&2; return 1; }
    sleep 0.5
}

wait_for_exit() {
    for _ in $(seq 100); do
        kill -0 "$app_pid" 2>/dev/null || { wait "$app_pid"; return $?; }
        sleep 0.1
    done
    echo "the tool did not end" >&2
    return 1
}

# Helpers for the end-to-end checks: a private Xvfb display, a registry file
# that points the tool at a database, and window look-ups with xdotool.
# Sourced by the tests in this folder; each runs `bash test.sh APP SAMPLE_DB`,
# and this sets app, sample and here (the tests' folder) from that.

app=$1
sample=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=wait.sh
source "$here/lib/wait.sh"

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

# Starts the tool on the database $1 and waits for its window and its
# tenant list; sets $window.
start_tool_on() {
    point_registry_at "$1"
    "$app" &
    app_pid=$!
    window=$(wait_for_window)
    wait_for_tenant_list
}

is_box() { xprop -id "$1" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DIALOG; }

# Waits until the tool has opened the database and filled the drop-down: only
# then does a click open the drop-down's list (an empty one opens none), which
# Escape closes again with nothing picked. A box shown meanwhile fails it.
wait_for_tenant_list() {
    local other
    for _ in $(seq 40); do
        click_twips "$window" $((2160 + 1000)) $((960 + 150))
        if wait_until 1 other_window_shown; then
            other=$(other_window)
            if is_box "$other"; then
                echo "a message box appeared at start" >&2
                return 1
            fi
            xdotool key Escape
            wait_until 10 no_other_window && return 0
        fi
        kill -0 "$app_pid" 2>/dev/null || { echo "the tool ended at start" >&2; return 1; }
    done
    echo "the tenant list did not open" >&2
    return 1
}

# Presses Exit and waits for the tool to end. A message box still open keeps
# the window from taking the click, so the tool then does not end.
exit_tool() {
    click_twips "$window" $((3120 + 700)) $((4320 + 180))
    wait_for_exit || { echo "the tool did not end on Exit (is a message box open?)" >&2; return 1; }
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

windows_shown() { [ "$(windows_named | wc -l)" -eq "$1" ]; }

# Waits until exactly $1 windows (the tool's and its boxes) are shown.
wait_for_windows() { wait_until 10 windows_shown "$1"; }

# A window of the tool's that is not its main window (a box, or the
# drop-down's open list, which has no WM_NAME), if one is shown.
other_window() { xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | grep -v -x "$window" | head -n 1; }

other_window_shown() { [ -n "$(other_window)" ]; }
no_other_window() { [ -z "$(other_window)" ]; }

focus_on_other_window() {
    local other
    other=$(other_window)
    [ -n "$other" ] && [ "$(xdotool getwindowfocus 2>/dev/null)" = "$other" ]
}

# Presses Return in the box shown over the window, once the box has the
# keyboard focus, and waits until it has gone.
close_box_with_enter() {
    wait_until 10 focus_on_other_window || { echo "no box took the keyboard focus" >&2; return 1; }
    xdotool key Return
    wait_for_windows 1 || { echo "the box did not go on Enter" >&2; return 1; }
}

# Dark pixels in a rectangle of the window given in twips.
ink_twips() { "$python" "$here/lib/ink.py" "$window" $(($1 / 15)) $(($2 / 15)) $(($3 / 15)) $(($4 / 15)); }
name_shown() { [ "$(ink_twips 4440 960 3015 255)" -gt 20 ]; }

# Opens the drop-down, picks its third entry with the keyboard, and waits
# until the window shows the tenant's name.
pick_third_tenant() {
    click_twips "$window" $((2160 + 1000)) $((960 + 150))
    wait_until 10 other_window_shown || { echo "the drop-down's list did not open" >&2; return 1; }
    xdotool key Down Down Return
    wait_until 10 name_shown || { echo "no tenant name after the pick" >&2; return 1; }
}

# The batch's progress as the title shows it ("Fix All: <tenant> (<k> of
# <n>)"): prints "k n", or nothing when the title shows none.
progress_shown() {
    local title
    title=$(xdotool getwindowname "$window" 2>/dev/null) || return 0
    if [[ "$title" =~ Fix\ All:\ .*\(([0-9,]+)\ of\ ([0-9,]+)\) ]]; then
        echo "${BASH_REMATCH[1]//,/} ${BASH_REMATCH[2]//,/}"
    fi
}

# Presses Fix All, waits (up to $1 seconds) for the box that sums the batch
# up, with no other box before it, and closes it with Return.
fix_all_and_close_summary() {
    click_twips "$window" $((240 + 800)) $((4320 + 180))
    wait_until "$1" windows_shown 2 || { echo "no summary box after Fix All" >&2; return 1; }
    [ -z "$(progress_shown)" ] || { echo "a message box appeared during Fix All" >&2; return 1; }
    close_box_with_enter
}

# Presses Ctrl+Z in the window, then Enter in the box that appears (OK of the
# confirmation, or the message that there is nothing to undo), and waits
# until the box has gone.
window_has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$window" ]; }

undo_with_enter() {
    click_twips "$window" $((120 + 200)) $((240 + 120)) # on the caption "Database Location": the keys go to the window
    wait_until 10 window_has_focus || { echo "the window did not take the keyboard focus" >&2; return 1; }
    xdotool key ctrl+z
    wait_for_windows 2 || { echo "no box appeared on Ctrl+Z" >&2; return 1; }
    close_box_with_enter
}

tool_ended() { ! kill -0 "$app_pid" 2>/dev/null; }

wait_for_exit() {
    # Generous: Exit waits in the queue behind work still running (an undo of
    # thousands of tenants in a sanitizer build); it ends as soon as it can.
    wait_until 300 tool_ended || { echo "the tool did not end" >&2; return 1; }
    wait "$app_pid"
}

# Helpers of the end-to-end checks of the Windows executable under Wine, run
# by run-tests.sh inside its Wine prefix and X server. From there come wine,
# wineserver, WINEPREFIX, DISPLAY, work, and in HABITORIUM_WINE_APP,
# HABITORIUM_WINE_SAMPLE and HABITORIUM_WINE_BOX the programs: the tool, the
# sample generator and box-text.exe.

app=${HABITORIUM_WINE_APP:?}
sample=${HABITORIUM_WINE_SAMPLE:?}
box=${HABITORIUM_WINE_BOX:?}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd) # tests/
# shellcheck source=../../e2e/lib/wait.sh
source "$here/e2e/lib/wait.sh"
python=/usr/bin/python3
title="Habitorium Rent Analysis"
app_pid=""

for tool in xdotool "$python"; do
    command -v "$tool" >/dev/null || { echo "missing $tool (install xdotool, python3)" >&2; exit 1; }
done

e2e_cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
}
trap e2e_cleanup EXIT

# The Windows form of a Linux path (Z:\...).
windows_path() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

# Wine's reg.exe with these arguments. It prints its failures on standard
# output, which a caller that discards it would never see: they are said on
# standard error here, after a second try (the one failure seen in CI left no
# word of which step failed).
wine_reg() {
    local out
    if out=$("$wine" reg "$@" 2>&1); then
        return 0
    fi
    sleep 1
    if out=$("$wine" reg "$@" 2>&1); then
        echo "wine reg $1 $2 failed once, then worked: $(tr -d '\r' <<<"$out")" >&2
        return 0
    fi
    echo "wine reg $* failed twice: $(tr -d '\r' <<<"$out")" >&2
    return 1
}

# The tool's settings in the prefix's registry, as an installer would leave
# them: DatabaseLocation $1, in the 64-bit view, or in the 32-bit view where a
# 32-bit host application keeps them when $2 is /reg:32. Settings left in
# either view by an earlier script go first.
settings_key='HKLM\SOFTWARE\Habitorium\Settings'
settings() {
    local view=${2:-/reg:64}
    "$wine" reg delete "$settings_key" /reg:32 /f >/dev/null 2>&1 || true
    "$wine" reg delete "$settings_key" /reg:64 /f >/dev/null 2>&1 || true
    wine_reg add "$settings_key" /v Networkable /t REG_DWORD /d 1 "$view" /f
    wine_reg add "$settings_key" /v DatabaseLocation /t REG_SZ /d "$1" "$view" /f
}

# A sample database of the Windows sample generator at the Linux path $1
# (more arguments passed on); what the generator says is shown if it fails.
make_sample() {
    local path
    path=$(windows_path "$1")
    [ -n "$path" ] || { echo "winepath gave no Windows path for $1" >&2; return 1; }
    shift
    "$wine" "$sample" "$path" "$@" >"$work/sample.log" 2>&1 ||
        { echo "the sample generator failed:" >&2; tr -d '\r' <"$work/sample.log" >&2; return 1; }
}

windows_named() { xdotool search --onlyvisible --name "^$title\$" 2>/dev/null || true; }

# Starts the tool (a copy in $1) and waits for its window; sets window. The
# window opens the database from a message posted when it appears, which the
# window's queue hands out before any click sent from here.
start_app() {
    "$wine" "$1" >"$work/app.log" 2>&1 &
    app_pid=$!
    window=""
    for _ in $(seq 300); do
        window=$(windows_named | head -n 1)
        [ -n "$window" ] && break
        kill -0 "$app_pid" 2>/dev/null || { echo "the tool ended before its window appeared" >&2; return 1; }
        sleep 0.1
    done
    [ -n "$window" ] || { echo "no window named $title appeared" >&2; return 1; }
}

# A window of the tool's other than its main window (the drop-down's open
# list, a box), if one is shown.
other_window() { xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | grep -v -x "$window" | head -n 1; }
other_window_shown() { [ -n "$(other_window)" ]; }
no_other_window() { [ -z "$(other_window)" ]; }

# Clicks at a point of the window's client area given in twips. Without a
# window manager Wine draws the frame itself, inside the X window: the client
# area sits at the bottom centre of it.
click_twips() {
    local geometry width height border
    geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p')
    read -r width height <<<"$geometry"
    border=$(((width - 501) / 2))
    xdotool mousemove --window "$window" $((border + $1 / 15)) $((height - 384 - border + $2 / 15)) click 1
}

# Whether the summary box of Fix All ($1) says that every tenant was repaired
# or already agreed.
every_tenant_done() {
    [[ "$1" =~ ^Fix\ All\ repaired\ ([0-9,]+)\ of\ ([0-9,]+)\ tenants(\;\ ([0-9,]+)\ already\ agreed\ and\ (was|were)\ left\ as\ (it\ was|they\ were))?\.$ ]] ||
        return 1
    local repaired=${BASH_REMATCH[1]//,/} total=${BASH_REMATCH[2]//,/} agreed=${BASH_REMATCH[4]//,/}
    [ $((repaired + ${agreed:-0})) -eq "$total" ]
}

tool_ended() { ! kill -0 "$app_pid" 2>/dev/null; }

wait_for_exit() {
    # Generous: Exit waits in the queue behind work still running (an undo of
    # thousands of tenants in a sanitizer build); it ends as soon as it can.
    wait_until 300 tool_ended || { echo "the tool did not end" >&2; return 1; }
    wait "$app_pid"
}

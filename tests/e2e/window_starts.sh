#!/usr/bin/env bash
# The real executable under a real X server: it starts on a database without
# any message box, shows its fixed-size window, and Exit ends it.
set -euo pipefail
source "$(dirname "$0")/lib/xserver.sh"

start_xserver
"$sample" "$work/property.mdb" >/dev/null
start_tool_on "$work/property.mdb"
count=$(windows_named | wc -l)
[ "$count" -eq 1 ] || { echo "expected the window alone, found $count windows (a message box?)" >&2; exit 1; }

geometry=$(xdotool getwindowgeometry "$window")
echo "$geometry" | grep -q "Geometry: 501x384" || { echo "unexpected geometry: $geometry" >&2; exit 1; }

exit_tool
echo "window_starts: ok"

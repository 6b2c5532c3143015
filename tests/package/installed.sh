#!/usr/bin/env bash
# The Debian package as a user gets it: after `apt-get install ./...deb`, its
# files are where the desktop looks for them, and the installed program,
# started under Xvfb on a sample the installed generator writes, shows its
# window with the tool's icon and ends on Exit.
#
#   installed.sh    (after the package is installed; .ci/run runs it)
set -euo pipefail
source "$(dirname "$0")/../e2e/lib/xserver.sh" /usr/bin/habitorium-rent-analysis /usr/bin/habitorium-sample-db

failed() { echo "installed package: $*" >&2; exit 1; }
command -v xprop >/dev/null || failed "xprop is missing (install x11-utils)"
files=$(dpkg -L habitorium-rent-analysis) || failed "the package is not installed"
for f in /usr/bin/habitorium-rent-analysis /usr/bin/habitorium-sample-db \
         /usr/share/applications/habitorium-rent-analysis.desktop \
         /usr/share/metainfo/habitorium-rent-analysis.metainfo.xml \
         /usr/share/man/man1/habitorium-rent-analysis.1.gz /usr/share/man/man1/habitorium-sample-db.1.gz; do
    grep -qxF "$f" <<<"$files" && [ -f "$f" ] || failed "$f is not installed"
done
for size in 16 24 32 48 256; do
    icon=/usr/share/icons/hicolor/${size}x${size}/apps/habitorium-rent-analysis.png
    [ -f "$icon" ] || failed "no $size-pixel icon"
done
grep -qx 'Categories=Office;Finance;' /usr/share/applications/habitorium-rent-analysis.desktop ||
    failed "the menu entry is not in Office and Finance"
grep -qx 'Icon=habitorium-rent-analysis' /usr/share/applications/habitorium-rent-analysis.desktop ||
    failed "the menu entry has not the tool's icon"

start_xserver
"$sample" "$work/property.mdb" --tenants 20 >/dev/null
start_tool_on "$work/property.mdb"
[ "$(xdotool getwindowname "$window")" = "Habitorium Rent Analysis" ] || failed "unexpected title"
[ "$(windows_named | wc -l)" -eq 1 ] || failed "a message box beside the window"
# The window's icon as the desktop reads it: _NET_WM_ICON holds the sizes
# the toolkit hands the window manager (those up to 48 pixels).
icons=$(xprop -id "$window" _NET_WM_ICON)
for size in 16 24 32 48; do
    grep -qF "Icon ($size x $size)" <<<"$icons" || failed "the window has not the tool's $size-pixel icon"
done
exit_tool
echo "installed package: files in place, the installed program started on a sample with its icon and ended"

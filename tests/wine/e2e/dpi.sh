#!/usr/bin/env bash
# The Windows executable at 96 and at 144 DPI (Wine's LogPixels, as a 150%
# display sets it): the client area is the form's twips at that DPI, 501 by
# 384 and 752 by 576 pixels, a control stands at its twips scaled, and the
# font is larger, so the drop-down's box, which its font sizes, is taller.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

metrics=${HABITORIUM_WINE_METRICS:?}
dir=$work/e2e-dpi
mkdir -p "$dir"
make_sample "$dir/property.mdb" --tenants 5
settings "ODBC;Driver={Habitorium SQLite3};Database=$dir/property.mdb"

desktop='HKCU\Control Panel\Desktop'
restore_dpi() {
    "$wine" reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1 || true
    e2e_cleanup
}
trap restore_dpi EXIT

# The window's measures at dpi, into $dir/metrics-<dpi>.
measure() {
    wine_reg add "$desktop" /v LogPixels /t REG_DWORD /d "$1" /f
    # Every process from here on starts at the new DPI.
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
    start_app "$app"
    "$wine" "$metrics" 30 | tr -d '\r' >"$dir/metrics-$1"
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
    echo "at $1 DPI: $(tr '\n' ';' <"$dir/metrics-$1")"
}
value() { sed -n "s/^$2 //p" "$dir/metrics-$1"; }

measure 96
measure 144
status=0
expect() {
    [ "$2" = "$3" ] || { echo "$1: $2, not $3" >&2; status=1; }
}
expect "client area at 96 DPI" "$(value 96 client)" "501 384"
expect "client area at 144 DPI" "$(value 144 client)" "752 576"
# Exit: 3120, 4320, 1455 by 375 twips.
expect "Exit at 96 DPI" "$(value 96 exit)" "208 288 97 25"
expect "Exit at 144 DPI" "$(value 144 exit)" "312 432 146 38"
small=$(value 96 combo)
large=$(value 144 combo)
[ -n "$small" ] && [ -n "$large" ] && [ "$large" -gt "$small" ] ||
    { echo "the drop-down's box is $large pixels high at 144 DPI, $small at 96: the font did not grow" >&2; status=1; }
exit "$status"

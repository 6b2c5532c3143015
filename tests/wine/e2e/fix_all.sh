#!/usr/bin/env bash
# The Windows executable under Wine on the sample database, reached through
# ODBC as settings in the registry say: a tenant picked and "Fix All" pressed
# with real input; afterwards every tenant's periods are those the rules give,
# which the Linux build's own end-to-end check holds its run to as well.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

dir=$work/e2e-fix-all
mkdir -p "$dir"
make_sample "$dir/property.mdb"
cp "$dir/property.mdb" "$dir/original.mdb"
# The driver is the host's: its path is a Linux path.
settings "ODBC;Driver={Habitorium SQLite3};Database=$dir/property.mdb"

start_app "$app"
[ "$(xdotool getwindowname "$window")" = "$title" ] || { echo "unexpected window title" >&2; exit 1; }
click_twips $((2160 + 1000)) $((960 + 150))     # open the tenant list
wait_until 10 other_window_shown || { echo "the tenant list did not open" >&2; exit 1; }
click_twips $((2160 + 1000)) $((960 + 315 + 120)) # its first entry
wait_until 10 no_other_window || { echo "the tenant list did not close on a pick" >&2; exit 1; }
click_twips $((240 + 800)) $((4320 + 180))      # Fix All
# One box sums the batch up: every tenant repaired or already agreeing.
summary=$("$wine" "$box" 300) || { echo "no summary box after Fix All" >&2; exit 1; }
echo "summary: $summary"
every_tenant_done "$summary" || { echo "unexpected summary (not every tenant repaired?): $summary" >&2; exit 1; }
click_twips $((3120 + 700)) $((4320 + 180))     # Exit
wait_for_exit || { echo "the tool did not end with status 0" >&2; exit 1; }
app_pid=""

PYTHONPATH="$here/e2e/lib" "$python" - "$dir/original.mdb" "$dir/property.mdb" <<'PY'
import sys
import reference
original, after_path = sys.argv[1:3]
after = reference.snapshot(after_path)
want = reference.expected(original)
wrong = [t for t in want if not reference.same(after[t], want[t])]
if wrong:
    t = wrong[0]
    print(f"{len(wrong)} tenants differ, first {t}:\n  file: {after[t]}\n  want: {want[t]}")
    sys.exit(1)
print(f"wine fix_all: {len(want)} tenants as the rules give")
PY

#!/usr/bin/env bash
# The tool killed at random moments during "Fix All" on a few hundred
# tenants: every tenant's periods are either all as before or all as the
# repair makes them, never half-written. Then Ctrl+Z in a new run restores
# every tenant whose repair was committed, and touches no other: every
# tenant's periods are as before "Fix All".
set -euo pipefail
source "$(dirname "$0")/lib/xserver.sh"

start_xserver
"$sample" "$work/original.mdb" --tenants 600 >/dev/null
: >"$work/partial"
# Every tenant with money received then needs its repair, so progress shows.
"$python" -c "import sqlite3, sys; db = sqlite3.connect(sys.argv[1]); db.execute('update rent_periods set paid = 0, extra_charges_paid = 0'); db.commit()" "$work/original.mdb"
export PYTHONPATH="$here/lib"

# The batch takes a fraction of a second here; the kills fall inside it.
for delay in 0.2 0.5 0.9 1.4 2.0; do
    cp "$work/original.mdb" "$work/property.mdb"
    rm -f "$work/property.mdb-journal"
    export XDG_DATA_HOME="$work/data-$delay" # each kill with a journal of its own
    start_tool_on "$work/property.mdb"
    click_twips "$window" $((240 + 800)) $((4320 + 180)) # Fix All
    sleep "$delay"
    kill -9 "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=""

    "$python" - "$work/original.mdb" "$work/property.mdb" "$delay" "$work/partial" <<'PY'
import sys
import reference
original, killed, delay = sys.argv[1:4]
before = reference.snapshot(original)
want = reference.expected(original)
now = reference.snapshot(killed)  # opening the file rolls back an interrupted transaction
done = untouched = 0
for tenant in want:
    if reference.same(now[tenant], want[tenant]):
        done += 1
    elif reference.same(now[tenant], before[tenant]):
        untouched += 1
    else:
        print(f"tenant {tenant} is half-written after a kill at {delay} s:\n"
              f"  before: {before[tenant]}\n  now:    {now[tenant]}\n  after:  {want[tenant]}")
        sys.exit(1)
print(f"killed after {delay} s: {done} tenants repaired, {untouched} as before, none half-written")
if done and untouched:
    open(sys.argv[4], "a").write(delay + "\n")
PY

    # A new run over the same journal: Ctrl+Z, Enter.
    start_tool_on "$work/property.mdb"
    undo_with_enter
    [ "$(windows_named | wc -l)" -eq 1 ] || { echo "a message box appeared after the undo" >&2; exit 1; }
    exit_tool
    "$python" - "$work/original.mdb" "$work/property.mdb" "$delay" <<'PY'
import sys
import reference
original, undone, delay = sys.argv[1:4]
before = reference.snapshot(original)
now = reference.snapshot(undone)
wrong = [t for t in before if not reference.same(now[t], before[t])]
if wrong:
    t = wrong[0]
    print(f"after the kill at {delay} s and Ctrl+Z, {len(wrong)} tenants are not as before, first {t}:\n"
          f"  before: {before[t]}\n  now:    {now[t]}")
    sys.exit(1)
print(f"killed after {delay} s, then Ctrl+Z: every tenant as before")
PY
done
# At least one kill must have stopped the batch part-way, or nothing was shown.
[ -s "$work/partial" ] || { echo "no kill fell inside the batch" >&2; exit 1; }
echo "fix_all_killed: ok"

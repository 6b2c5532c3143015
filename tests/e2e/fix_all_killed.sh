#!/usr/bin/env bash
# The tool killed part-way through "Fix All" on thousands of tenants: every
# tenant's periods are either all as before or all as the repair makes them,
# never half-written. Then Ctrl+Z in a new run restores every tenant whose
# repair was committed, and touches no other: every tenant's periods are as
# before "Fix All".
#
# The kills follow the progress the window's title shows ("Fix All: <tenant>
# (<k> of <n>)"), not the clock, so they fall inside the batch however fast
# the machine is: at a tenth, a half and nine tenths of the list. Each kill
# must be seen to fall inside it (some tenants repaired, some as before).
set -euo pipefail
source "$(dirname "$0")/lib/xserver.sh"

tenants=5000
start_xserver
"$sample" "$work/original.mdb" --tenants "$tenants" >/dev/null
# Every tenant with money received then needs its repair.
"$python" -c "import sqlite3, sys; db = sqlite3.connect(sys.argv[1]); db.execute('update rent_periods set paid = 0, extra_charges_paid = 0'); db.commit()" "$work/original.mdb"
export PYTHONPATH="$here/lib"

# Waits until the title shows tenant $1 of the batch or a later one. Fails,
# saying why, when the batch ends first (its summary box appears) or nothing
# shows within the bound.
wait_for_progress() {
    local target=$1 seen=0 progress k n deadline=$((SECONDS + 300))
    while [ "$SECONDS" -lt "$deadline" ]; do
        progress=$(progress_shown)
        if [ -n "$progress" ]; then
            read -r k n <<<"$progress"
            [ "$n" -eq "$tenants" ] || { echo "the title counts $n tenants, not $tenants" >&2; return 1; }
            seen=$k
            [ "$k" -ge "$target" ] && return 0
        elif [ "$(windows_named | wc -l)" -gt 1 ]; then
            echo "Fix All ended before tenant $target of $tenants was shown (the last seen was $seen)" >&2
            return 1
        fi
        sleep 0.01
    done
    echo "the title did not reach tenant $target of $tenants (the last seen was $seen)" >&2
    return 1
}

for tenth in 1 5 9; do
    target=$((tenants * tenth / 10))
    cp "$work/original.mdb" "$work/property.mdb"
    rm -f "$work/property.mdb-journal"
    export XDG_DATA_HOME="$work/data-$tenth" # each kill with a journal of its own
    start_tool_on "$work/property.mdb"
    click_twips "$window" $((240 + 800)) $((4320 + 180)) # Fix All
    wait_for_progress "$target"
    kill -9 "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=""

    "$python" - "$work/original.mdb" "$work/property.mdb" "$target" <<'PY'
import sys
import reference
original, killed, target = sys.argv[1:4]
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
        print(f"tenant {tenant} is half-written after a kill at tenant {target}:\n"
              f"  before: {before[tenant]}\n  now:    {now[tenant]}\n  after:  {want[tenant]}")
        sys.exit(1)
print(f"killed at tenant {target}: {done} tenants repaired, {untouched} as before, none half-written")
if not done or not untouched:
    print(f"the kill at tenant {target} did not fall inside the batch")
    sys.exit(1)
PY

    # A new run over the same journal: Ctrl+Z, Enter.
    start_tool_on "$work/property.mdb"
    undo_with_enter
    exit_tool
    "$python" - "$work/original.mdb" "$work/property.mdb" "$target" <<'PY'
import sys
import reference
original, undone, target = sys.argv[1:4]
before = reference.snapshot(original)
now = reference.snapshot(undone)
wrong = [t for t in before if not reference.same(now[t], before[t])]
if wrong:
    t = wrong[0]
    print(f"after the kill at tenant {target} and Ctrl+Z, {len(wrong)} tenants are not as before, first {t}:\n"
          f"  before: {before[t]}\n  now:    {now[t]}")
    sys.exit(1)
print(f"killed at tenant {target}, then Ctrl+Z: every tenant as before")
PY
done
echo "fix_all_killed: ok"

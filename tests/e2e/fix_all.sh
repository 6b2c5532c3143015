#!/usr/bin/env bash
# "Fix All" pressed with real input on the sample database: when it has
# finished, every tenant's periods are what the rules give, worked out here
# independently of the tool. Then Ctrl+Z and Enter undo it: every row of
# rent_periods is exactly as it was before.
set -euo pipefail
source "$(dirname "$0")/lib/xserver.sh"

start_xserver
"$sample" "$work/property.mdb" >/dev/null
cp "$work/property.mdb" "$work/original.mdb"
start_tool_on "$work/property.mdb"

# One box sums the batch up, and no box comes before it (the title shows the
# batch's progress while it runs); Return closes it.
fix_all_and_close_summary 120

PYTHONPATH="$here/lib" "$python" - "$work/property.mdb" <<'PY'
import sys
import reference
path = sys.argv[1]
# The file after Fix All against the rules applied to the same income.
after = reference.snapshot(path)
want = reference.expected(path)
wrong = [t for t in want if not reference.same(after[t], want[t])]
if wrong:
    t = wrong[0]
    print(f"{len(wrong)} tenants differ, first {t}:\n  file: {after[t]}\n  want: {want[t]}")
    sys.exit(1)
print(f"fix_all: {len(want)} tenants as the rules give")
PY

undo_with_enter
exit_tool
"$python" - "$work/original.mdb" "$work/property.mdb" <<'PY'
import sqlite3, sys
def rows(path):
    db = sqlite3.connect(path)
    return db.execute("select * from rent_periods order by rowid").fetchall()
original, now = rows(sys.argv[1]), rows(sys.argv[2])
changed = [(a, b) for a, b in zip(original, now) if a != b]
if len(original) != len(now) or changed:
    print(f"after the undo {len(changed)} rows differ from the original, first: {changed[:1]}")
    sys.exit(1)
print(f"fix_all: Ctrl+Z put all {len(now)} rows back as they were")
PY

# The command line finds the window's repair journal: the periods Fix All
# changed, and the same periods put back by the undo.
"$app" --history "$work/history.csv" >/dev/null
"$python" - "$work/history.csv" <<'PY'
import csv, sys
rows = list(csv.reader(open(sys.argv[1], encoding="utf-8-sig", newline="")))[1:]
done = {what: sorted((r[4], r[5], tuple(r[6:10]), tuple(r[10:14])) for r in rows if r[2] == what)
        for what in ("Fix All", "Undo")}
back = sorted((t, p, after, before) for t, p, before, after in done["Undo"])
if not done["Fix All"] or back != done["Fix All"] or len(rows) != 2 * len(back):
    print(f"--history: {len(done['Fix All'])} periods of Fix All, {len(done['Undo'])} of the undo, not the same")
    sys.exit(1)
print(f"fix_all: --history lists the {len(back)} periods Fix All changed and the undo that put them back")
PY

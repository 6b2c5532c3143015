#!/usr/bin/env bash
# The real executable on PostgreSQL through ODBC: DatabaseLocation is
# "ODBC;Driver=...;..." for a server of the script's own, holding the same
# sample as an SQLite file beside it. On each, pick a tenant, then press
# "Fix All"; the rows afterwards are the same on both.
set -euo pipefail
source "$(dirname "$0")/lib/xserver.sh"
source "$here/lib/postgres.sh"
trap 'stop_postgres; cleanup' EXIT

start_xserver
start_postgres "$work"
"$sample" "$work/property.mdb" >/dev/null
"$sample" --odbc "$pg_odbc" >/dev/null

# Picks the third tenant with the keyboard, presses Fix All, waits for the
# batch to end, closes its summary box and exits; no other box may appear.
pick_and_fix_all() {
    start_tool_on "$1"
    [ "$(windows_named | wc -l)" -eq 1 ] || { echo "a message box appeared at start ($2)" >&2; exit 1; }
    pick_third_tenant || { echo "on $2" >&2; exit 1; }
    fix_all_and_close_summary 300 || { echo "on $2" >&2; exit 1; }
    exit_tool
}

pick_and_fix_all "$work/property.mdb" SQLite
pick_and_fix_all "ODBC;$pg_odbc" PostgreSQL

# The same rows, amounts to four places, in the order both were written.
sqlite3 "$work/property.mdb" "select tenant_code, substr(period_from, 1, 10), printf('%.4f|%.4f|%.4f|%.4f',
    rent_due, paid, extra_charges, extra_charges_paid) from rent_periods order by id" >"$work/sqlite.rows"
port=$(sed -n 's/.*Port=\([0-9]*\).*/\1/p' <<<"$pg_odbc")
"${pg_as[@]}" psql -h "$pg_folder" -p "$port" -U postgres -d habitorium -At -c "select tenant_code,
    to_char(period_from, 'YYYY-MM-DD'), rent_due || '|' || paid || '|' || extra_charges || '|' ||
    extra_charges_paid from rent_periods order by id" >"$work/postgres.rows"
[ -s "$work/sqlite.rows" ] || { echo "no rows read from the SQLite file" >&2; exit 1; }
if ! diff -q "$work/sqlite.rows" "$work/postgres.rows" >/dev/null; then
    echo "the rows differ after Fix All (SQLite <, PostgreSQL >):" >&2
    diff "$work/sqlite.rows" "$work/postgres.rows" | head -20 >&2
    exit 1
fi
echo "fix_all_odbc: $(wc -l <"$work/sqlite.rows") rows the same on PostgreSQL as on SQLite"

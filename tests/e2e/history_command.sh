#!/usr/bin/env bash
# The command line's --history with the real executable, without a display:
# a repair journal made here (the schema and rows as the tool keeps them,
# notes included), the history read back with a CSV reader (the byte-order
# mark, CR LF, quoting of a note with a comma, quotes and a line break, the
# amounts in their plain form, an unchanged period left out), --since, "-"
# for standard output, and the exit statuses: 0, and 2 with the reason when
# the journal or the database cannot be read or the arguments are wrong.
# Needs the sqlite3 command-line tool and python3.
# Usage: history_command.sh <habitorium-rent-analysis> <habitorium-sample-db>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
sample=$2
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

for tool in sqlite3 python3; do
    command -v "$tool" >/dev/null || { echo "history_command: missing $tool" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/out"
cp "$1" "$work/bin/"
app=$work/bin/$(basename "$1")
# The user's data folder, where the window keeps its repair journal.
export XDG_DATA_HOME="$work/data"
journal="$XDG_DATA_HOME/Habitorium Rent Analysis/repair-journal.sqlite"

# shellcheck source=lib/command.sh
source "$here/lib/command.sh"
columns="when,who,what,note,tenant,period_from,rent_due_before,paid_before,extra_charges_before,"
columns+="extra_charges_paid_before,rent_due_after,paid_after,extra_charges_after,extra_charges_paid_after"
rows() { python3 "$here/lib/csv_rows.py" "$1" "$columns"; }

db=$work/property.mdb
"$sample" "$db" >/dev/null
point_registry_at "$db"

# --- No journal yet: the header alone, and no journal made -------------------------
run --history "$work/out/empty.csv"
check "no journal: exit status" "0" "$status"
check "no journal: the summary" "0 actions on this database, 0 periods changed." "$out"
check "no journal: the header alone" "" "$(rows "$work/out/empty.csv")"
check "no journal: none made" "no" "$([ -e "$XDG_DATA_HOME" ] && echo yes || echo no)"

# --- A journal with three actions on the database and one on another ----------------
mkdir -p "$(dirname "$journal")"
odd='DUB,"Zoë"01'
sqlite3 "$journal" "
create table actions (id integer primary key autoincrement, kind text not null, made_at datetime not null,
    login text not null, database_name text not null, tenant text, undoes integer, undone_by integer, note text);
create index actions_database on actions (database_name, id);
create table tenants (id integer primary key autoincrement, action_id integer not null, tenant text not null);
create index tenants_action on tenants (action_id, id);
create table periods (entry integer not null, position integer not null, period_from datetime,
    rent_due_before, paid_before, extra_charges_before, extra_charges_paid_before,
    rent_due_after, paid_after, extra_charges_after, extra_charges_paid_after, primary key (entry, position))
    without rowid;
insert into actions (kind, made_at, login, database_name, tenant, undoes, undone_by, note) values
    ('repair', '2026-11-02 09:15:00', 'ann', '$db', 'O''NEIL01', null, 3,
        'Asked by the landlord, \"end of year\"' || char(13, 10) || 'see the letter'),
    ('fix all', '2026-11-03 17:45:30', 'bob', '$db', null, null, null, null),
    ('undo', '2026-11-04 08:00:00', 'ann', '$db', 'O''NEIL01', 1, null, 'Wrong tenant'),
    ('repair', '2026-11-04 09:00:00', 'ann', '/elsewhere/property.mdb', 'T9', null, null, null);
insert into tenants (action_id, tenant) values (1, 'O''NEIL01'), (2, '${odd//\'/\'\'}'), (2, 'ALI001'),
    (3, 'O''NEIL01'), (4, 'T9');
insert into periods values
    (1, 0, '2025-01-01', 1100, 1100, 20, 20, 1100, 1100, 20, 20),
    (1, 1, '2025-02-01', 1100, 0, 20, 0, 1100, 1100.0, 20, 20.5),
    (2, 0, '2025-02-01', -500.25, 0, 0, 0, 500.25, 0.1 + 0.2, 0, 0),
    (3, 0, '2025-01-01', 650, 600, 25, 0, 650, 650, 25, 25),
    (4, 0, '2025-02-01', 1100, 1100.0, 20, 20.5, 1100, 0, 20, 0),
    (5, 0, '2025-01-01', 1, 2, 3, 4, 5, 6, 7, 8);"
repair="2026-11-02 09:15:00	ann	Repair	Asked by the landlord, \"end of year\"\\r\\nsee the letter	O'NEIL01	2025-02-01	1100	0	20	0	1100	1100	20	20.5"
fixall1="2026-11-03 17:45:30	bob	Fix All		$odd	2025-02-01	-500.25	0	0	0	500.25	0.3	0	0"
fixall2="2026-11-03 17:45:30	bob	Fix All		ALI001	2025-01-01	650	600	25	0	650	650	25	25"
undo="2026-11-04 08:00:00	ann	Undo	Wrong tenant	O'NEIL01	2025-02-01	1100	1100	20	20.5	1100	0	20	0"

run --history "$work/out/history.csv"
check "history: exit status" "0" "$status"
check "history: nothing on standard error" "" "$err"
check "history: the summary" "3 actions on this database, 4 periods changed." "$out"
check "history: the rows, oldest first, changed periods only" "$repair
$fixall1
$fixall2
$undo" "$(rows "$work/out/history.csv")"

run --history - --since 2026-11-03
check "--since: exit status" "0" "$status"
check "--since: the actions of that day and later" "$fixall1
$fixall2
$undo" "$(rows "$work/stdout")"
check "--since: the summary on standard error" "2 actions on this database since 2026-11-03, 3 periods changed." "$err"
run --history=- --since=2026-11-05
check "--since after the last: the header alone" "" "$(rows "$work/stdout")"

# --- Failures: exit status 2 and what could not be read ------------------------------
cp "$journal" "$work/journal.kept"
rm -f "$journal-wal" "$journal-shm"
printf 'this is not a journal, it only has its name\n' >"$journal"
run --history "$work/out/broken.csv"
check "unreadable journal: exit status" "2" "$status"
check "unreadable journal: names it" \
    "The repair history was not written: the repair journal $journal cannot be read (file is not a database)." "$err"
check "unreadable journal: no file written" "no" "$([ -e "$work/out/broken.csv" ] && echo yes || echo no)"
cp "$work/journal.kept" "$journal"

point_registry_at "$work/missing/property.mdb"
run --history "$work/out/nodb.csv"
check "no database: exit status" "2" "$status"
check "no database: names it" "yes" "$(grep -qF "the database $work/missing/property.mdb could not be opened." <<<"$err" && echo yes || echo no)"
point_registry_at "$db"

run --history "$db"
check "a database as the file: exit status" "2" "$status"
check "a database as the file: said why" "yes" "$(grep -q 'is a database file' <<<"$err" && echo yes || echo no)"
run --history "$work/out"
check "a folder as the file: exit status" "2" "$status"

for arguments in "--history" "--since 2026-11-01" "--history a.csv --since 2026-13-01" "--history a.csv --since 2026-11-01x" \
    "--history a.csv --check-all b.csv" "--history a.csv --history b.csv" "--history a.csv --since"; do
    status=0
    # shellcheck disable=SC2086 # the words are the arguments
    (cd "$work/out" && "$app" $arguments >/dev/null 2>"$work/stderr") || status=$?
    check "bad arguments [$arguments]: exit status" "2" "$status"
    check "bad arguments [$arguments]: usage on standard error" "yes" \
        "$(grep -q '^usage: .*--history \[--since YYYY-MM-DD\]' "$work/stderr" && echo yes || echo no)"
done
check "bad arguments: no file made" "empty.csv history.csv" "$(ls -A "$work/out" | tr '\n' ' ' | sed 's/ $//')"

run --help
check "--help: tells of --history" "yes" "$(grep -q -- '--history \[--since YYYY-MM-DD\] FILE' <<<"$out" && echo yes || echo no)"

echo "history_command: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

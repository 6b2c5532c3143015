#!/usr/bin/env bash
# The Windows executable's command line under Wine, a GUI program with no
# console of its own: --check-all on the sample with its settings in the
# registry, its output through redirected handles (the list on standard
# output byte for byte, CR LF not doubled), a list whose name is beyond ASCII
# written over an earlier one, and exit statuses 1 and 2.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

dir=$work/e2e-check-all
mkdir -p "$dir/bin" "$dir/out"
# The program's own folder holds no database to fall back to.
cp "$app" "$dir/bin/"
exe=$dir/bin/$(basename "$app")
make_sample "$dir/property.mdb"
cp "$dir/property.mdb" "$dir/original.mdb"
settings "$(windows_path "$dir/property.mdb")"

rows() { "$python" "$here/e2e/lib/csv_rows.py" "$1"; }
fail() {
    echo "wine check_all_command: $*" >&2
    exit 1
}

# A list under a name beyond ASCII, over an earlier file of that name.
list=$dir/out/Prüfung.csv
echo "stale" >"$list"
status=0
"$wine" "$exe" --check-all "$(windows_path "$list")" >"$dir/stdout" 2>"$dir/stderr" || status=$?
[ "$status" -eq 1 ] || fail "exit status $status on the sample, not 1 ($(cat "$dir/stderr"))"
summary=$(cat "$dir/stdout")
[[ "$summary" =~ ^11\ of\ 40\ tenants\ disagree\ with\ the\ money\ received\;\ .*\.$'\r'$ ]] ||
    fail "summary line [$summary]"
[ "$(rows "$list" | wc -l)" -eq 11 ] || fail "the list does not hold 11 tenants"
[ "$(ls -A "$dir/out")" = "Prüfung.csv" ] || fail "files beside the list: $(ls -A "$dir/out")"
cmp -s "$dir/property.mdb" "$dir/original.mdb" || fail "the database changed"

# The list on standard output: the same bytes as the file, the summary on standard error.
status=0
"$wine" "$exe" --check-all - >"$dir/stdout" 2>"$dir/stderr" || status=$?
[ "$status" -eq 1 ] || fail "exit status $status with -, not 1"
cmp -s "$dir/stdout" "$list" || fail "the list on standard output differs from the file"
grep -q '^11 of 40 tenants' "$dir/stderr" || fail "no summary on standard error: $(cat "$dir/stderr")"

# No database: exit status 2 and the reason on standard error.
settings 'C:\nowhere\property.mdb'
status=0
"$wine" "$exe" --check-all "$(windows_path "$dir/out/none.csv")" >"$dir/stdout" 2>"$dir/stderr" || status=$?
[ "$status" -eq 2 ] || fail "exit status $status without a database, not 2"
grep -q "Unable to start habitorium database." "$dir/stderr" || fail "no reason on standard error: $(cat "$dir/stderr")"
[ ! -e "$dir/out/none.csv" ] || fail "a list was written without a database"
echo "wine check_all_command: ok (exit statuses 1 and 2, the list by name and on standard output)"

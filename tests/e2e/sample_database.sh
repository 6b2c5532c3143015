#!/usr/bin/env bash
# The sample database generator: the file it writes (format, tables, columns,
# the forms of dates, money and booleans), the figures of the ordinary
# tenancies (they agree with the money received), the special tenancies
# (each wrong in its own known way), determinism, refusing to overwrite,
# leaving nothing half-written behind, bad arguments, and a benchmark-sized run.
# Needs no X server; needs the sqlite3 command-line tool.
# Usage: sample_database.sh <habitorium-rent-analysis> <habitorium-sample-db>
set -euo pipefail
generator=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")

if ! command -v sqlite3 >/dev/null 2>&1; then
    echo "sample_database: the sqlite3 command-line tool is missing (Debian package sqlite3: apt-get install sqlite3)" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# shellcheck source=lib/command.sh
source "$(dirname "$0")/lib/command.sh"
q() { sqlite3 -batch -noheader "$db" "$@"; }

# The special tenancies, and the ones among them whose totals disagree with
# the money received.
specials="'O''NEIL01','HAR001','EVA001','KHA001','MOR001','WIL001','ZHA001','QUI001','LEE001','GRE001','DAV001',"
specials+="'ROB001','BRO001','FOS001','PAT001','CLA001','YOU001'"
disagreeing="EVA001 FOS001 KHA001 MOR001 O'NEIL01 PAT001 QUI001 WIL001 ZHA001"

# Per tenancy: the income the analysis counts and what the periods record,
# as the tool's queries work them out.
totals="create temp view totals as select t.reference as reference,
  round(coalesce((select sum(amount) from revenues r where r.tenant_code = t.reference
                  and r.[revenue group] = (select rent_group from options)), 0), 2) as rent_income,
  round(coalesce((select sum(amount) from revenues r where r.tenant_code = t.reference
                  and r.[revenue group] <> (select rent_group from options)
                  and r.[revenue group] in (select gl_code from glcodes where pay_extra_charges <> 0)), 0), 2) as extra_income,
  round(coalesce((select sum(paid) from rent_periods p where p.tenant_code = t.reference), 0), 2) as paid,
  round(coalesce((select sum(extra_charges_paid) from rent_periods p where p.tenant_code = t.reference), 0), 2) as extra_paid,
  round(coalesce((select sum(extra_charges) from rent_periods p where p.tenant_code = t.reference), 0), 2) as extra,
  round(coalesce((select sum(value) from rent_periods_charges c where c.tenantcode = t.reference), 0), 2) as charges,
  (select count(*) from rent_periods p where p.tenant_code = t.reference) as periods,
  (select count(*) from revenues r where r.tenant_code = t.reference) as revenues
from tenancy t;"
qt() { q "$totals" "$@"; }

# --- The default sample -------------------------------------------------------
db=$work/property.mdb
summary=$("$generator" "$db")
echo "$summary"
check "files left beside the sample" "property.mdb" "$(ls -A "$work")"
check "file header" "SQLite format 3" "$(head -c 15 "$db")"
check "integrity" "ok" "$(q 'pragma integrity_check')"
check "journal mode" "delete" "$(q 'pragma journal_mode')"
check "page size" "4096" "$(q 'pragma page_size')"

check "tables" "glcodes options rent_periods rent_periods_charges revenues tenancy" \
    "$(q "select group_concat(name, ' ') from (select name from sqlite_master where type = 'table' order by name)")"
columns() {
    q "select group_concat(name || ':' || upper(type), ' ') from (select name, type from pragma_table_info('$1') order by cid)"
}
check "tenancy columns" "reference:TEXT name:TEXT property code:TEXT when started:DATETIME when ended:DATETIME" \
    "$(columns tenancy)"
check "options columns" "company_name:TEXT rent_group:TEXT" "$(columns options)"
check "glcodes columns" "gl_code:TEXT description:TEXT pay_extra_charges:INTEGER" "$(columns glcodes)"
check "revenues columns" \
    "id:INTEGER tenant_code:TEXT revenue group:TEXT amount:REAL date:DATETIME property code:TEXT description:TEXT" \
    "$(columns revenues)"
check "rent_periods columns" "id:INTEGER tenant_code:TEXT period_from:DATETIME period_to:DATETIME rent_due:REAL \
paid:REAL extra_charges:REAL extra_charges_paid:REAL" "$(columns rent_periods)"
check "rent_periods_charges columns" "id:INTEGER tenantcode:TEXT period_from:DATETIME description:TEXT value:REAL" \
    "$(columns rent_periods_charges)"
check "indexes" "rent_periods_charges_tenant rent_periods_tenant revenues_tenant tenancy_reference" \
    "$(q "select group_concat(name, ' ') from (select name from sqlite_master where type = 'index' order by name)")"
# The tables and indexes that docs/property-database.md tells a user to create
# are the ones the sample has.
schema() { sqlite3 "$1" "select type || ' ' || name || ': ' || sql from sqlite_master order by type, name"; }
guide=$(dirname "$0")/../../docs/property-database.md
if [ -f "$guide" ]; then
    # The first sql block of the guide is the schema.
    awk '/^```sql$/ { blocks++; inside = blocks == 1; next } /^```$/ { inside = 0; next } inside' "$guide" >"$work/guide.sql"
    sqlite3 "$work/guide.db" <"$work/guide.sql"
    check "schema of the guide" "$(schema "$db")" "$(schema "$work/guide.db")"
    rm -f "$work/guide.sql" "$work/guide.db"
fi
check "text compared without case" "1 1 1" \
    "$(q "select (select count(*) from tenancy where reference = 'o''neil01') || ' ' ||
                 (select count(*) from rent_periods where tenant_code = 'har001' and period_from = '2024-03-01') || ' ' ||
                 (select count(*) from glcodes where gl_code = 'rent')")"

check "options" "1|RENT" "$(q "select count(*), max(rent_group) from options")"
check "ledger codes" "200:0 410:-1 420:-1 430:-1 500:0 510:0 RENT:0" \
    "$(q "select group_concat(gl_code || ':' || pay_extra_charges, ' ') from (select * from glcodes order by gl_code)")"
check "tenancies" "40" "$(q 'select count(*) from tenancy')"
check "references unique" "40" "$(q 'select count(distinct reference) from tenancy')"
check "summary line" "$summary" "$(q "select 'Wrote $db: ' || (select count(*) from tenancy) || ' tenants, ' ||
    (select count(*) from rent_periods) || ' rent periods, ' || (select count(*) from revenues) || ' revenues, ' ||
    (select count(*) from rent_periods_charges) || ' period charges'")"
check "periods a tenancy (fewest, most) apart from those without" "3 36" \
    "$(q "select min(c) || ' ' || max(c) from (select count(*) c from rent_periods group by tenant_code)")"
check "periods with two or more charges" "1" \
    "$(q "select count(*) > 20 from (select 1 from rent_periods_charges group by tenantcode, period_from having count(*) >= 2)")"
check "income codes in use" "200 410 420 430 500 RENT" \
    "$(q "select group_concat(g, ' ') from (select distinct [revenue group] g from revenues where [revenue group] <> '510' order by g)")"

# Forms: ISO dates that are real dates, money of whole pence stored as REAL,
# booleans -1 / 0, every row on a known tenancy and property.
iso() { echo "($1 glob '[12][0-9][0-9][0-9]-[01][0-9]-[0-3][0-9]' and date($1) = $1)"; }
check "malformed dates" "0|0|0|0|0" "$(q "select
    (select count(*) from tenancy where not $(iso '[when started]') or ([when ended] is not null and not $(iso '[when ended]'))),
    (select count(*) from rent_periods where not $(iso period_from) or not $(iso period_to) or period_to < period_from),
    (select count(*) from rent_periods_charges where not $(iso period_from)),
    (select count(*) from revenues where not $(iso date)),
    (select count(*) from revenues where date > '2025-06-15') + (select count(*) from rent_periods where period_from > '2025-06-15')")"
pence() { echo "(typeof($1) = 'real' and $1 = round($1, 2))"; }
check "money not in whole pence" "0|0|0" "$(q "select
    (select count(*) from rent_periods where not ($(pence rent_due) and $(pence paid) and $(pence extra_charges) and $(pence extra_charges_paid))),
    (select count(*) from rent_periods_charges where not $(pence value)),
    (select count(*) from revenues where not $(pence amount))")"
check "booleans" "0" "$(q "select count(*) from glcodes where pay_extra_charges not in (-1, 0)")"
check "rows of no tenancy or property" "0|0|0|0" "$(q "select
    (select count(*) from rent_periods where tenant_code not in (select reference from tenancy)),
    (select count(*) from rent_periods_charges where tenantcode not in (select reference from tenancy)),
    (select count(*) from revenues where tenant_code not in (select reference from tenancy)),
    (select count(*) from revenues where [property code] not in (select [property code] from tenancy))")"
check "a period starting twice" "0" \
    "$(q "select count(*) from (select 1 from rent_periods group by tenant_code, period_from having count(*) > 1)")"
check "periods with a gap or overlap" "0" "$(q "select count(*) from rent_periods a where a.period_to <>
    coalesce((select date(min(b.period_from), '-1 day') from rent_periods b
              where b.tenant_code = a.tenant_code and b.period_from > a.period_from), a.period_to)")"

# The ordinary tenancies agree with their money, period by period, exactly as
# a reallocation oldest period first would leave them.
check "ordinary: totals that disagree" "0" "$(qt "select count(*) from totals where reference not in ($specials)
    and (rent_income <> paid or extra_income <> extra_paid or extra <> charges)")"
check "ordinary: extra charges that are not the sum of their charges" "0" "$(q "select count(*) from rent_periods p
    where p.tenant_code not in ($specials) and round(p.extra_charges, 2) <> round(coalesce((select sum(value)
    from rent_periods_charges c where c.tenantcode = p.tenant_code and c.period_from = p.period_from), 0), 2)")"
check "ordinary: paid outside 0 to due" "0" "$(q "select count(*) from rent_periods where tenant_code not in ($specials)
    and (paid < 0 or paid > rent_due or extra_charges_paid < 0 or extra_charges_paid > extra_charges)")"
check "ordinary: money on a period after one not fully paid" "0|0" "$(q "select
    (select count(*) from rent_periods a join rent_periods b on b.tenant_code = a.tenant_code and b.period_from > a.period_from
     where a.tenant_code not in ($specials) and a.paid < a.rent_due and b.paid > 0),
    (select count(*) from rent_periods a join rent_periods b on b.tenant_code = a.tenant_code and b.period_from > a.period_from
     where a.tenant_code not in ($specials) and a.extra_charges_paid < a.extra_charges and b.extra_charges_paid > 0)")"
check "ordinary: periods starting on neither the 1st nor the start day" "0" "$(q "select count(*) from rent_periods p
    join tenancy t on t.reference = p.tenant_code where p.tenant_code not in ($specials)
    and strftime('%d', p.period_from) not in ('01', strftime('%d', t.[when started]))")"
check "ordinary: part months not charged pro rata" "0" "$(q "select count(*) from rent_periods a join rent_periods b
    on b.tenant_code = a.tenant_code and b.period_from = date(a.period_to, '+1 day')
    where a.tenant_code not in ($specials) and strftime('%d', a.period_from) <> '01' and strftime('%d', b.period_from) = '01'
    and a.rent_due <> round(b.rent_due * (julianday(a.period_to) - julianday(a.period_from) + 1)
        / (julianday(date(a.period_from, 'start of month', '+1 month')) - julianday(date(a.period_from, 'start of month'))), 2)")"
check "ordinary: rent income far from every period start" "0" "$(q "select count(*) from revenues r
    where r.tenant_code not in ($specials) and r.[revenue group] = 'RENT' and not exists (select 1 from rent_periods p
    where p.tenant_code = r.tenant_code and julianday(r.date) - julianday(p.period_from) between -7 and 25)")"
check "ordinary: some in arrears, some ended, some part months" "1|1|1" "$(q "select
    (select count(distinct tenant_code) > 0 from rent_periods where paid < rent_due and tenant_code not in ($specials)),
    (select count(*) > 0 from tenancy where [when ended] is not null),
    (select count(*) > 0 from rent_periods p where period_from = (select [when started] from tenancy where reference = p.tenant_code)
     and strftime('%d', period_from) <> '01' and date(period_to, '+1 day') like '%-01')")"

# --- The special tenancies, each wrong (or awkward) in its own way --------------
check "totals that disagree" "$disagreeing" "$(qt "select group_concat(reference, ' ') from (select reference from totals
    where rent_income <> paid or extra_income <> extra_paid or extra <> charges order by reference)")"
special() { # reference, what, expected, select expression over the totals row t
    local ref=${1//\'/\'\'}
    check "$1: $2" "$3" "$(qt "select $4 from totals t where reference = '$ref'")"
}
special "O'NEIL01" "parking payment not allocated" "30.00|0.00" \
    "printf('%.2f', extra_income - extra_paid) || '|' || printf('%.2f', rent_income - paid)"
special HAR001 "March's rent on April" "0|0.00|1300.00|0.00" "(rent_income <> paid) || '|' ||
    (select printf('%.2f', paid) || '|' || (select printf('%.2f', paid) from rent_periods where tenant_code = 'HAR001' and period_from = '2024-04-01')
     from rent_periods where tenant_code = 'HAR001' and period_from = '2024-03-01') || '|' || printf('%.2f', extra_income - extra_paid)"
special EVA001 "a payment not allocated" "595.00" "printf('%.2f', rent_income - paid)"
special KHA001 "service charge booked as rent" "-55.00|55.00|2" "printf('%.2f', rent_income - paid) || '|' ||
    printf('%.2f', extra_income - extra_paid) || '|' ||
    (select max(c) from (select count(*) c from rent_periods_charges where tenantcode = 'KHA001' group by period_from))"
special MOR001 "extra charges out of step with the charges" "20.00|30.00|0.00" \
    "printf('%.2f', extra - charges) || '|' || printf('%.2f', extra_income - extra_paid) || '|' || printf('%.2f', rent_income - paid)"
special WIL001 "overpaid" "625.00" "printf('%.2f', rent_income - paid)"
special ZHA001 "income but no periods" "0|1440.00" "periods || '|' || printf('%.2f', rent_income)"
special QUI001 "periods but no income" "0|3|610.00" "revenues || '|' || periods || '|' || printf('%.2f', paid)"
special LEE001 "a negative rent due" "1|0.00" "(select count(*) from rent_periods where tenant_code = 'LEE001' and rent_due < 0)
    || '|' || printf('%.2f', rent_income - paid)"
special GRE001 "credits" "2|1|0" "(select count(*) from rent_periods_charges where tenantcode = 'GRE001' and value < 0) || '|' ||
    (select count(*) from rent_periods where tenant_code = 'GRE001' and extra_charges < 0) || '|' ||
    (rent_income <> paid or extra_income <> extra_paid or extra <> charges)"
special DAV001 "a refund" "-675.00|0" "(select printf('%.2f', min(amount)) from revenues where tenant_code = 'DAV001' and [revenue group] = 'RENT')
    || '|' || (rent_income <> paid or extra_income <> extra_paid)"
special ROB001 "income under another property" "P004|P002|2023-09|2024-09" "(select [property code] from tenancy where reference = 'ROB001')
    || '|' || (select group_concat(distinct [property code]) from revenues where tenant_code = 'ROB001' and [property code] <> 'P004')
    || '|' || (select substr(min(date), 1, 7) from revenues where tenant_code = 'ROB001' and [revenue group] = 'RENT')
    || '|' || (select substr(min(date), 1, 7) from revenues where tenant_code = 'ROB001' and [revenue group] = 'RENT' and [property code] = 'P004')"
special BRO001 "lower-case tenant code" "1|0" "((select count(*) from revenues where tenant_code = 'bro001' collate binary) > 3)
    || '|' || (rent_income <> paid)"
special FOS001 "periods start after the tenancy" "2024-03-10|2024-04-01|464.84" "(select [when started] from tenancy where reference = 'FOS001')
    || '|' || (select min(period_from) from rent_periods where tenant_code = 'FOS001') || '|' || printf('%.2f', rent_income - paid)"
special PAT001 "a charge on no period" "2024-09-15|-12.50" "(select group_concat(period_from) from rent_periods_charges c where tenantcode = 'PAT001'
    and not exists (select 1 from rent_periods p where p.tenant_code = c.tenantcode and p.period_from = c.period_from))
    || '|' || printf('%.2f', extra - charges)"
special CLA001 "rent-free first month" "2024-07-01|0" "(select period_from from rent_periods where tenant_code = 'CLA001' and rent_due = 0)
    || '|' || (rent_income <> paid)"
special YOU001 "not started yet" "0|0.00|200" "periods || '|' || printf('%.2f', rent_income + extra_income) || '|' ||
    (select group_concat([revenue group]) from revenues where tenant_code = 'YOU001')"
check "charges on no period (PAT001's only)" "1" "$(q "select count(*) from rent_periods_charges c where not exists
    (select 1 from rent_periods p where p.tenant_code = c.tenantcode and p.period_from = c.period_from)")"

# --- Determinism ----------------------------------------------------------------
"$generator" "$work/again.mdb" >/dev/null
check "same arguments, same file" "same" "$(cmp -s "$db" "$work/again.mdb" && echo same || echo different)"
check "same arguments, same dump" "same" \
    "$(cmp -s <(sqlite3 "$db" .dump) <(sqlite3 "$work/again.mdb" .dump) && echo same || echo different)"
"$generator" "$work/seed7.mdb" --seed 7 >/dev/null
check "another seed, other ordinary tenancies" "different" \
    "$(cmp -s <(sqlite3 "$db" .dump) <(sqlite3 "$work/seed7.mdb" .dump) && echo same || echo different)"
special_rows() { # the special tenancies' rows, whatever their ids
    sqlite3 "$1" "select * from tenancy where reference in ($specials) order by reference;
        select tenant_code, period_from, period_to, rent_due, paid, extra_charges, extra_charges_paid from rent_periods
          where tenant_code in ($specials) order by tenant_code, period_from;
        select tenantcode, period_from, description, value from rent_periods_charges where tenantcode in ($specials)
          order by tenantcode, period_from, description;
        select tenant_code, [revenue group], amount, date, [property code], description from revenues
          where tenant_code in ($specials) order by 1, 2, 3, 4, 5, 6;"
}
check "another seed, the same special tenancies" "same" \
    "$(cmp -s <(special_rows "$db") <(special_rows "$work/seed7.mdb") && echo same || echo different)"
rm -f "$work/again.mdb" "$work/seed7.mdb"

# --- Never overwriting, never half-written ---------------------------------------
before=$(cksum <"$db")
status=0
message=$("$generator" "$db" --seed 9 2>&1 >/dev/null) || status=$?
check "existing file: refused" "1" "$status"
check "existing file: says how to replace it" "yes" "$(grep -q -- '--force' <<<"$message" && echo yes || echo no)"
check "existing file: untouched" "$before" "$(cksum <"$db")"
"$generator" "$db" --seed 9 --force >/dev/null
check "--force replaces it" "changed" "$([ "$(cksum <"$db")" != "$before" ] && echo changed || echo unchanged)"
check "--force leaves a sound file" "ok|40" "$(q "select (select * from pragma_integrity_check) || '|' || count(*) from tenancy")"
mkdir "$work/folder.mdb"
status=0
"$generator" "$work/folder.mdb" --force >/dev/null 2>&1 || status=$?
check "a folder as output: refused even with --force" "1|" "$status|$(ls -A "$work/folder.mdb")"
rmdir "$work/folder.mdb"
status=0
"$generator" "$work/missing/property.mdb" >/dev/null 2>&1 || status=$?
check "no such folder: refused" "1" "$status"
check "after the refusals, only the sample is left" "property.mdb" "$(ls -A "$work")"

# Stopped while generating, and while writing (once the temporary file is
# there): neither the output nor the temporary file remains.
for moment in generating writing; do
    "$generator" "$work/stopped.mdb" --tenants 10000 >/dev/null 2>&1 &
    pid=$!
    # Stopped as soon as the moment is seen: the program running (its own
    # image, not yet the shell's), or its temporary file there.
    for _ in $(seq 300); do
        if [ "$moment" = writing ]; then
            compgen -G "$work/.*.partial" >/dev/null && break
        else
            [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$generator" ] && break
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.01
    done
    kill -TERM "$pid" 2>/dev/null || true
    status=0
    wait "$pid" || status=$?
    if [ "$status" -eq 0 ]; then
        # It finished first: then the file must be whole.
        check "finished before being stopped while $moment" "ok" "$(sqlite3 "$work/stopped.mdb" 'pragma integrity_check')"
        rm -f "$work/stopped.mdb"
    else
        check "stopped while $moment: ended by the signal" "143" "$status"
    fi
    check "stopped while $moment: nothing left behind" "property.mdb" "$(ls -A "$work")"
done

# --- Bad arguments ----------------------------------------------------------------
bad_arguments=(
    ""
    "a.mdb b.mdb"
    "a.mdb --tenants"
    "a.mdb --tenants ten"
    "a.mdb --tenants -1"
    "a.mdb --tenants 32768"
    "a.mdb --tenants 1.5"
    "a.mdb --tenants=40x"
    "a.mdb --seed 18446744073709551616"
    "a.mdb --seed"
    "a.mdb --tenants 5 --tenants 6"
    "a.mdb --force=yes"
    "a.mdb --colour"
    "--tenants 5"
)
for arguments in "${bad_arguments[@]}"; do
    status=0
    # shellcheck disable=SC2086 # the words are the arguments
    message=$(cd "$work" && "$generator" $arguments 2>&1 >/dev/null) || status=$?
    check "bad arguments [$arguments]: exit status" "2" "$status"
    check "bad arguments [$arguments]: usage shown" "yes" "$(grep -q '^usage: ' <<<"$message" && echo yes || echo no)"
done
check "bad arguments: no file made" "property.mdb" "$(ls -A "$work")"
check "--help" "0" "$("$generator" --help >/dev/null && echo 0 || echo $?)"
(cd "$work" && "$generator" --tenants 1 -- --odd-name.mdb >/dev/null)
check "-- ends the options" "1" "$(sqlite3 "$work/--odd-name.mdb" 'select count(*) from tenancy')"
rm -f "$work/--odd-name.mdb"

# --- A benchmark-sized run ----------------------------------------------------------
db=$work/benchmark.mdb
start=$(date +%s%N)
"$generator" "$db" --tenants 2000
echo "2000 tenants written in $((($(date +%s%N) - start) / 1000000)) ms"
check "benchmark: tenancies" "2000" "$(q 'select count(*) from tenancy')"
check "benchmark: ordinary tenancies with other than 36 periods" "0" "$(q "select count(*) from tenancy
    where reference not in ($specials) and (select count(*) from rent_periods where tenant_code = reference) <> 36")"
check "benchmark: income rows a period" "1" "$(q "select (select count(*) from revenues) > 2.5 * (select count(*) from rent_periods)")"
check "benchmark: ordinary totals that disagree" "0" "$(qt "select count(*) from totals where reference not in ($specials)
    and (rent_income <> paid or extra_income <> extra_paid or extra <> charges)")"

echo "sample_database: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

"""What the rent periods of a property database should be after a repair,
worked out here from the rules the office uses, independently of the tool:

- the rent income (revenues under the rent group) is handed out over the
  tenant's periods, earliest first, each taking up to its rent due (made
  positive first); the pass stops when nothing remains, and an amount that is
  not more than the due is taken whole by that period;
- what remains, plus the extra-charge income (revenues under the codes that
  pay extra charges, the rent group excluded), goes the same way over the
  periods that have extra charges;
- anything still left is added to the rent paid of the latest period.
Amounts are money with four decimal places. Tenant references are matched as
the property database matches them: without regard to the case of ASCII
letters. Each table is read once, so a sample of thousands of tenants is
checked in seconds.
"""

import sqlite3
import string
from decimal import Decimal, ROUND_HALF_EVEN

FOUR = Decimal("0.0001")
_ASCII_LOWER = str.maketrans(string.ascii_uppercase, string.ascii_lowercase)


def fold(text):
    return (text or "").translate(_ASCII_LOWER)


def money(value):
    # The window shows a total with 15 significant digits; the repair reads
    # that text back and keeps four decimal places.
    return Decimal(format(value, ".15g")).quantize(FOUR, rounding=ROUND_HALF_EVEN)


def connect(path):
    db = sqlite3.connect(path)
    db.row_factory = sqlite3.Row
    return db


def tenants(db):
    rows = db.execute("select reference from tenancy where reference is not null order by reference collate nocase")
    return [r[0] for r in rows]


def grouped(db, sql):
    """The rows of sql (its first column a tenant reference) by folded tenant, in the order read."""
    groups = {}
    for row in db.execute(sql):
        groups.setdefault(fold(row[0]), []).append(tuple(row)[1:])
    return groups


def periods(db, columns):
    return grouped(db, f"select tenant_code, {columns} from rent_periods order by period_from, rowid")


def snapshot(path):
    """Every tenant's periods as (period_from, rent_due, paid, extra_charges, extra_charges_paid)."""
    db = connect(path)
    rows = periods(db, "period_from, rent_due, paid, extra_charges, extra_charges_paid")
    result = {tenant: rows.get(fold(tenant), []) for tenant in tenants(db)}
    db.close()
    return result


def allocate(periods, remaining, due, paid, only_nonzero):
    for p in periods:
        if remaining == 0:
            break
        if only_nonzero and p[due] == 0:
            continue
        if float(remaining) > p[due]:
            p[paid] = p[due]
            remaining = money(float(remaining) - p[due])
        else:
            p[paid] = float(remaining)
            remaining = Decimal(0)
    return remaining


def expected(path):
    """Every tenant's periods after "Fix All", in the form of snapshot()."""
    db = connect(path)
    row = db.execute("select rent_group from options limit 1").fetchone()
    rent_group = fold(row[0] if row and row[0] is not None else "")
    extra_codes = {fold(r[0]) for r in db.execute("select gl_code from glcodes where pay_extra_charges <> 0")}
    revenues = grouped(db, "select tenant_code, [revenue group], amount from revenues order by rowid")
    rows = periods(db, "period_from, abs(rent_due), 0.0, extra_charges, 0.0")
    result = {}
    for tenant in tenants(db):
        rent = extra = 0.0
        for group, amount in revenues.get(fold(tenant), []):
            if fold(group) == rent_group:
                rent += amount or 0.0
        for group, amount in revenues.get(fold(tenant), []):
            if fold(group) in extra_codes and fold(group) != rent_group:
                extra += amount or 0.0
        tenant_periods = [list(p) for p in rows.get(fold(tenant), [])]
        remaining = allocate(tenant_periods, money(rent), 1, 2, False)
        remaining = allocate(tenant_periods, remaining + money(extra), 3, 4, True)
        if remaining != 0 and tenant_periods:
            tenant_periods[-1][2] = tenant_periods[-1][2] + float(remaining)
        result[tenant] = [tuple(p) for p in tenant_periods]
    db.close()
    return result


def same(a, b):
    if len(a) != len(b):
        return False
    for x, y in zip(a, b):
        if x[0] != y[0] or any(abs(float(x[i]) - float(y[i])) > 0.00005 for i in range(1, 5)):
            return False
    return True

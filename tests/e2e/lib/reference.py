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
Amounts are money with four decimal places.
"""

import sqlite3
from decimal import Decimal, ROUND_HALF_EVEN

FOUR = Decimal("0.0001")


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


def snapshot(path):
    """Every tenant's periods as (period_from, rent_due, paid, extra_charges, extra_charges_paid)."""
    db = connect(path)
    result = {}
    for tenant in tenants(db):
        rows = db.execute(
            "select period_from, rent_due, paid, extra_charges, extra_charges_paid from rent_periods "
            "where lower(tenant_code) = lower(?) order by period_from", (tenant,))
        result[tenant] = [tuple(r) for r in rows]
    db.close()
    return result


def income(db, tenant, rent_group, extra_codes):
    rent = extra = 0.0
    rows = db.execute("select [revenue group], amount from revenues where lower(tenant_code) = lower(?) "
                      "order by rowid", (tenant,))
    rent_rows = [r[1] for r in rows.fetchall() if (r[0] or "").lower() == rent_group.lower()]
    rows = db.execute("select [revenue group], amount from revenues where lower(tenant_code) = lower(?) "
                      "order by rowid", (tenant,))
    extra_rows = [r[1] for r in rows.fetchall()
                  if (r[0] or "").lower() in extra_codes and (r[0] or "").lower() != rent_group.lower()]
    for a in rent_rows:
        rent += a or 0.0
    for a in extra_rows:
        extra += a or 0.0
    return money(rent), money(extra)


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
    rent_group = (row[0] if row and row[0] is not None else "")
    extra_codes = {(r[0] or "").lower() for r in db.execute("select gl_code from glcodes where pay_extra_charges <> 0")}
    result = {}
    for tenant in tenants(db):
        rent, extra = income(db, tenant, rent_group, extra_codes)
        rows = db.execute(
            "select period_from, abs(rent_due), 0.0, extra_charges, 0.0 from rent_periods "
            "where lower(tenant_code) = lower(?) order by period_from", (tenant,))
        periods = [list(r) for r in rows]
        remaining = allocate(periods, rent, 1, 2, False)
        remaining = allocate(periods, remaining + extra, 3, 4, True)
        if remaining != 0 and periods:
            periods[-1][2] = periods[-1][2] + float(remaining)
        result[tenant] = [tuple(p) for p in periods]
    db.close()
    return result


def same(a, b):
    if len(a) != len(b):
        return False
    for x, y in zip(a, b):
        if x[0] != y[0] or any(abs(float(x[i]) - float(y[i])) > 0.00005 for i in range(1, 5)):
            return False
    return True

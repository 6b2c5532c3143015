"""Reads a list written by --check-all as a spreadsheet would (Python's csv
module), after checking its form: a UTF-8 byte-order mark, CR LF after every
line and nowhere else, the header line's names, fourteen fields a row. Prints
the rows, one a line, fields joined by tabs; fails with the reason."""
import csv
import io
import sys

COLUMNS = ("tenant,name,rent_received,rent_paid,extra_received,extra_paid,charges,charges_in_periods,"
           "due_now,due_after,periods_changed,first_unpaid_now,first_unpaid_after,problem").split(",")


def fail(why):
    sys.exit(f"{sys.argv[1]}: {why}")


data = open(sys.argv[1], "rb").read()
if not data.startswith(b"\xef\xbb\xbf"):
    fail("no UTF-8 byte-order mark")
if not data.endswith(b"\r\n") or data.count(b"\n") != data.count(b"\r\n") or data.count(b"\r") != data.count(b"\r\n"):
    fail("a line end that is not CR LF")
try:
    text = data[3:].decode("utf-8")
except UnicodeDecodeError as error:
    fail(f"not UTF-8: {error}")
try:
    rows = list(csv.reader(io.StringIO(text, newline=""), strict=True))
except csv.Error as error:
    fail(f"not CSV as a reader takes it: {error}")
if not rows or rows[0] != COLUMNS:
    fail(f"header {rows[:1]}")
for row in rows[1:]:
    if len(row) != len(COLUMNS):
        fail(f"{len(row)} fields in {row}")
    if any("\t" in field or "\n" in field for field in row):
        fail(f"a tab or line break in {row}")
    sys.stdout.buffer.write(("\t".join(row) + "\n").encode("utf-8"))

"""Reads a list written by --check-all (or, given its header's names joined by
commas as the second argument, another file of the same form, such as
--history's) as a spreadsheet would (Python's csv module), after checking its
form: a UTF-8 byte-order mark, CR LF after every line (line breaks inside a
quoted field are the field's own), the header line's names, as many fields a
row. Prints the rows, one a line, fields joined by tabs, a field's CR and LF
as \\r and \\n; fails with the reason."""
import csv
import io
import sys

COLUMNS = ("tenant,name,rent_received,rent_paid,extra_received,extra_paid,charges,charges_in_periods,"
           "due_now,due_after,periods_changed,first_unpaid_now,first_unpaid_after,problem").split(",")
if len(sys.argv) > 2:
    COLUMNS = sys.argv[2].split(",")


def fail(why):
    sys.exit(f"{sys.argv[1]}: {why}")


data = open(sys.argv[1], "rb").read()
if not data.startswith(b"\xef\xbb\xbf"):
    fail("no UTF-8 byte-order mark")
try:
    text = data[3:].decode("utf-8")
except UnicodeDecodeError as error:
    fail(f"not UTF-8: {error}")
# Outside quotes, CR and LF come only as the pair that ends a line.
quoted = False
for i, c in enumerate(text):
    if c == '"':
        quoted = not quoted
    elif not quoted and ((c == "\r" and text[i + 1:i + 2] != "\n") or (c == "\n" and text[i - 1:i] != "\r")):
        fail(f"a line end that is not CR LF at character {i}")
if quoted or not text.endswith("\r\n"):
    fail("the last line does not end with CR LF")
try:
    rows = list(csv.reader(io.StringIO(text, newline=""), strict=True))
except csv.Error as error:
    fail(f"not CSV as a reader takes it: {error}")
if not rows or rows[0] != COLUMNS:
    fail(f"header {rows[:1]}")
for row in rows[1:]:
    if len(row) != len(COLUMNS):
        fail(f"{len(row)} fields in {row}")
    if any("\t" in field for field in row):
        fail(f"a tab in {row}")
    line = "\t".join(field.replace("\r", "\\r").replace("\n", "\\n") for field in row)
    sys.stdout.buffer.write((line + "\n").encode("utf-8"))

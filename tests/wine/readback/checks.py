"""What the read-back checks of the Windows build share (resources.py,
package.py): the PE reader, the failures gathered and said at once, the
command line."""
import sys

try:
    import pefile  # noqa: F401 (for the checks that import it from here)
except ImportError:
    print("python3-pefile is missing: install the Debian package python3-pefile", file=sys.stderr)
    sys.exit(1)

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def finish(name, success):
    """Says every failure, else the success line; the exit status."""
    for f in failures:
        print(f"{name}: {f}", file=sys.stderr)
    if not failures:
        print(f"{name}: {success}")
    return 1 if failures else 0


def arguments(doc, count, choices):
    """The command line's arguments, the last one of choices; else the usage
    (the last line of doc) and exit status 2."""
    args = sys.argv[1:]
    if len(args) != count or args[-1] not in choices:
        print(doc.strip().splitlines()[-1].strip(), file=sys.stderr)
        sys.exit(2)
    return args

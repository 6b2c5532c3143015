"""The house's layout, read from the sources' #include lines: the folders of
src/ depend on one another one way only (no circle between files of
different folders), and no file outside the Qt front end (frmmain/qt and
main.cpp) includes a Qt header. The front ends frmmain/qt and frmmain/win32
count as folders of their own above the form; the engine's backends as part
of the engine. Prints each circle or stray include; fails when there is any.
Usage: dependencies.py <src folder>"""
import re
import sys
from pathlib import Path

src = Path(sys.argv[1])
include = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def unit(path):
    """The folder a file or an included name belongs to."""
    parts = Path(path).parts
    if len(parts) < 2:
        return parts[0].split(".")[0]  # main.cpp, WinMain.cpp
    if parts[0] == "frmmain" and parts[1] in ("qt", "win32") and len(parts) > 2:
        return "frmmain/" + parts[1]
    return parts[0]


edges = {}
problems = []
for file in sorted(p for p in src.rglob("*") if p.suffix in (".h", ".cpp")):
    name = file.relative_to(src)
    here = unit(name)
    for kind, target in include.findall(file.read_text(encoding="utf-8")):
        if kind == "<":
            if re.match(r"Q[A-Z]\w*$", target) and here not in ("frmmain/qt", "main"):
                problems.append(f"{name}: includes the Qt header <{target}>")
            continue
        if not (src / target).exists():
            continue  # a header of the folder itself, named without its folder
        there = unit(target)
        if there != here:
            edges.setdefault(here, {}).setdefault(there, str(name))

# A circle is a folder that reaches itself again.
def reach(start):
    seen, todo = set(), [start]
    while todo:
        for nxt in edges.get(todo.pop(), {}):
            if nxt not in seen:
                seen.add(nxt)
                todo.append(nxt)
    return seen


for folder in sorted(edges):
    for nxt, through in sorted(edges[folder].items()):
        if folder in reach(nxt):
            problems.append(f"{folder} -> {nxt} (in {through}) closes a circle: {nxt} depends on {folder} again")

for problem in problems:
    print(problem)
print(" ".join(f"{a}->{','.join(sorted(b))}" for a, b in sorted(edges.items())))
sys.exit(1 if problems else 0)

#!/usr/bin/env python3
"""Fails when a file of src/ includes a folder of a layer above its own (or a
sibling of its layer): the folders form layers, and includes point down.

    check_layers.py SRC_FOLDER
"""
import pathlib
import re
import sys

# Lowest first; folders of one layer do not include each other.
LAYERS = [
    ["core"],
    ["trace"],
    ["download", "zip"],
    ["store"],
    ["cycle"],
    ["reactions"],
    ["headless", "widgets"],
    ["settingsdialog", "history"],
    ["mainwindow"],
]
RANK = {folder: rank for rank, folders in enumerate(LAYERS) for folder in folders}
TOP = len(LAYERS)  # main.cpp, at the root of src/

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.M)


def main() -> int:
    src = pathlib.Path(sys.argv[1])
    wrong = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp") or "viewer" in path.parts:
            continue
        rel = path.relative_to(src)
        own = rel.parts[0] if len(rel.parts) > 1 else None
        if own is not None and own not in RANK:
            wrong.append(f"{rel}: the folder {own} has no layer in scripts/check_layers.py")
            continue
        rank = RANK[own] if own else TOP
        for included in INCLUDE.findall(path.read_text(encoding="utf-8")):
            if included == own or included not in RANK:
                continue
            if RANK[included] >= rank:
                wrong.append(f"{rel}: includes {included}/, which is not below {own or 'the program'}")
    for line in wrong:
        print(line, file=sys.stderr)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())

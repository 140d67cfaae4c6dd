#!/usr/bin/env python3
"""Fails when a file of src/ or apps/ includes a header of a higher layer, or
when the folders' includes form a loop. A file's layer is its folder's, one
level below src/ (no nested layer folders); the order is written only here.

    check_layers.py SOURCE_DIR
"""
import graphlib
import pathlib
import re
import sys

# Lowest first; folders on one line are peers and may not include each other
# in a circle.
LAYERS = [
    ["db", "files", "journal", "epl2"],
    ["printing", "emulator"],
    ["station"],
    ["attendance", "clock", "labels", "login", "packing"],
    ["operations"],
    ["cli", "gui"],
    ["apps"],
]
LEVEL = {folder: i for i, peers in enumerate(LAYERS) for folder in peers}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path):
    """The layer folder of a path relative to src/ (or 'apps'), None if none."""
    parts = path.split("/")[:-1]
    return parts[0] if len(parts) == 1 and parts[0] in LEVEL else None


def main(root):
    root = pathlib.Path(root)
    files = [(p, p.relative_to(root / "src").as_posix()) for p in (root / "src").rglob("*")
             if p.suffix in (".h", ".cpp")]
    files += [(p, "apps/" + p.name) for p in (root / "apps").rglob("*.cpp")]
    faults, edges = [], {}
    for path, rel in sorted(files):
        mine = folder_of(rel)
        if mine is None:
            faults.append(f"{rel}: its folder has no layer")
            continue
        for target in INCLUDE.findall(path.read_text(encoding="utf-8")):
            theirs = folder_of(target)
            if theirs is None or theirs == mine:
                continue  # a system header, or the file's own folder
            if LEVEL[theirs] > LEVEL[mine]:
                faults.append(f"{rel}: includes {target}, of a higher layer ({theirs} above {mine})")
            edges.setdefault(mine, set()).add(theirs)
    try:
        graphlib.TopologicalSorter(edges).prepare()
    except graphlib.CycleError as loop:  # its path runs against the includes
        faults.append("folders include each other: " + " -> ".join(reversed(loop.args[1])))
    for f in faults:
        print(f)
    print(f"{len(files)} files, {sum(map(len, edges.values()))} folder dependencies, "
          f"{len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))

#!/usr/bin/env python3
"""Fails when a file of src/ or apps/ includes a header of a higher layer, or
when the folders' includes form a loop. A file's layer is its folder's, one
level below src/ (no nested layer folders); the order is src/CMakeLists.txt's,
apps on top.

    check_layers.py SOURCE_DIR
"""
import graphlib, pathlib, re, sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main(root):
    root = pathlib.Path(root)
    cmake = (root / "src" / "CMakeLists.txt").read_text(encoding="utf-8")
    floors = [f.split() for f in re.findall(r"^velmar_floor\(([^)]*)\)", cmake, re.M)] + [["apps"]]
    level = {folder: i for i, peers in enumerate(floors) for folder in peers}

    def folder_of(path):  # the layer folder of a path below src/ (or 'apps'), None if none
        parts = path.split("/")[:-1]
        return parts[0] if len(parts) == 1 and parts[0] in level else None

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
            if level[theirs] > level[mine]:
                faults.append(f"{rel}: includes {target}, of a higher layer ({theirs} above {mine})")
            edges.setdefault(mine, set()).add(theirs)
    try:
        graphlib.TopologicalSorter(edges).prepare()
    except graphlib.CycleError as loop:  # its path runs against the includes
        faults.append("folders include each other: " + " -> ".join(reversed(loop.args[1])))
    print("".join(f + "\n" for f in faults), end="")
    print(f"{len(files)} files, {sum(map(len, edges.values()))} folder dependencies, "
          f"{len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))

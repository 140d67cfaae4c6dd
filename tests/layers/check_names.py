#!/usr/bin/env python3
"""Fails when an identifier of src/ or apps/ mixes English and Spanish words: machinery
is named in English, the farm's things in its own Spanish. A word counts as a
language's when only that language's word list (Debian's wamerican, wspanish)
has it (or, for a plural, its singular); the loanwords the farm's Spanish uses count as Spanish.

    check_names.py SOURCE_DIR
"""
import pathlib
import re
import sys
import unicodedata

LOANWORDS = {"packing", "login", "menu"}
NAMES = re.compile(r"\b(?:class|struct|enum)\s+(\w+)|\b(\w+)\s*\(|\b(\w+_)\s*[;{=]|\bk([A-Z]\w*)")


def plain(word):
    return "".join(c for c in unicodedata.normalize("NFD", word.lower()) if not unicodedata.combining(c))


def main(root):
    english = {plain(w) for w in pathlib.Path("/usr/share/dict/american-english").read_text().split()
               if w.islower() and "'" not in w} - LOANWORDS
    spanish = {plain(w) for w in pathlib.Path("/usr/share/dict/spanish").read_text("latin-1").split()}
    faults = set()
    paths = list(pathlib.Path(root, "src").rglob("*.[ch]*")) + list(pathlib.Path(root, "apps").rglob("*.cpp"))
    for path in sorted(paths):
        text = re.sub(r'//.*|"(\\.|[^"\\])*"', "", path.read_text(encoding="utf-8"))
        for match in NAMES.finditer(text):
            name = next(g for g in match.groups() if g)
            words = [w.lower() for w in re.findall(r"[A-Z]?[a-z]+|[A-Z]+(?![a-z])", name) if len(w) > 2]
            es = [w in spanish or w.endswith("s") and any(
                len(stem) > 3 and stem in spanish for stem in (w[:-1], w[:-2])) for w in words]
            if any(w in english and not s for w, s in zip(words, es)) and any(
                    s and w not in english for w, s in zip(words, es)):
                faults.add(f"{path.relative_to(root)}: {name} mixes English and Spanish")
    print("\n".join(sorted(faults) + [f"{len(faults)} mixed names"]))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))

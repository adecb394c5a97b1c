#!/usr/bin/env python3
"""Writes the diff of every mutant an equivalents file lists under its entry, as comment lines,
so that the judgement and the change it judged are read together:

  tools/mutate/annotate_equivalents.py tools/mutate/equivalent.txt

Lines written by an earlier run (comments that start with "#  |") are replaced. An entry whose
mutant no longer exists (its code changed) is marked so, to be judged again.
"""

from __future__ import annotations

import os
import re
import subprocess
import sys

DIFF_PREFIX = "#  | "
ENTRY = re.compile(r"^(M[0-9a-f]{8})\s")
HEADER = re.compile(r"^(M[0-9a-f]{8})\s{2}\S+:\d+:\d+\s")


def diffs_of(ids: list[str]) -> dict[str, list[str]]:
    """The changed lines of each id's diff, from the mutation tool's own listing."""
    tool = os.path.join(os.path.dirname(os.path.realpath(__file__)), "mutate.py")
    found: dict[str, list[str]] = {}
    # All at once; one by one only when some id no longer matches (the tool then lists none).
    batches = [ids] if ids else []
    first = batches and subprocess.run(
        [sys.executable, tool, "--list", "--diff", "--only", ",".join(ids)],
        capture_output=True, text=True)
    if first and first.returncode != 0:
        batches = [[i] for i in ids]
    for batch in batches:
        listing = first if len(batches) == 1 else subprocess.run(
            [sys.executable, tool, "--list", "--diff", "--only", ",".join(batch)],
            capture_output=True, text=True)
        if listing.returncode != 0:
            continue
        current = None
        for line in listing.stdout.splitlines():
            header = HEADER.match(line)
            if header:
                current = header.group(1)
                found[current] = [line.split("  ", 1)[1].strip()]
            elif current and line[:1] in ("-", "+") and not line.startswith(("---", "+++")):
                found[current].append(line)
    return found


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    path = sys.argv[1]
    with open(path, encoding="utf-8") as f:
        lines = [line.rstrip("\n") for line in f if not line.startswith(DIFF_PREFIX.rstrip())]
    ids = [m.group(1) for m in map(ENTRY.match, lines) if m]
    diffs = diffs_of(ids)
    out: list[str] = []
    for line in lines:
        out.append(line)
        entry = ENTRY.match(line)
        if not entry:
            continue
        changed = diffs.get(entry.group(1))
        if changed is None:
            out.append(DIFF_PREFIX + "(no such mutant any more: its code changed; judge it again)")
        else:
            out.extend(DIFF_PREFIX + text for text in changed)
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")
    missing = [i for i in ids if i not in diffs]
    print(f"{len(ids) - len(missing)} entries given their diff"
          + (f"; no longer matching: {', '.join(missing)}" if missing else ""))
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())

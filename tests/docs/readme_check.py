#!/usr/bin/env python3
"""Fails when README.md no longer reads as a document: a code block left open, a heading
without its space, a paragraph indented into code, or the two commands missing from their
own sh block. A formatter run over the file breaks all of these at once."""
import re
import sys


def findings(lines):
    found = []
    fence = None  # (line number, info string) of the open block
    blocks = []  # (info string, lines inside)
    for number, line in enumerate(lines, 1):
        if re.match(r"^ {0,3}```", line):
            if fence is None:
                fence = (number, line.strip()[3:].strip(), [])
            else:
                blocks.append((fence[1], fence[2]))
                fence = None
            continue
        if fence is not None:
            fence[2].append(line)
            continue
        if re.match(r"^\s*#+[^#\s!]", line):
            found.append(f"{number}: a heading without a space after its hashes: {line}")
        elif re.match(r"^\s+#", line):
            found.append(f"{number}: an indented heading: {line}")
        elif re.match(r"^ {4,}\S", line):
            found.append(f"{number}: prose indented into a code block: {line}")
    if fence is not None:
        found.append(f"{fence[0]}: a code block that is never closed")
    commands = [body for info, body in blocks if info == "sh"]
    for command in ("make demo", "make test"):
        if not any(re.match(rf"^{command}(\s|$)", line) for body in commands for line in body):
            found.append(f"the command `{command}` is not on a line of its own in an sh block")
    return found


def main():
    path = sys.argv[1]
    with open(path, encoding="utf-8") as readme:
        found = findings(readme.read().splitlines())
    for finding in found:
        print(f"{path}:{finding}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())

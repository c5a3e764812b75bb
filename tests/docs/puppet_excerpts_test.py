#!/usr/bin/env python3
"""The JSON that docs/making-a-puppet.md shows is the sample puppets' own.

Every line of a ```json block must stand in one of the JSON files under
examples/hero or examples/minimal, whitespace aside (a line may end a comma
early: the file goes on). A line with "..." is an abridgement and is not
looked for. So an excerpt cannot drift from the file it quotes.

    puppet_excerpts_test.py SOURCE_DIR
"""
import glob
import os
import re
import sys


def squeeze(text):
    return re.sub(r"\s+", "", text)


def main():
    top = sys.argv[1]
    page = os.path.join(top, "docs", "making-a-puppet.md")
    files = sorted(glob.glob(os.path.join(top, "examples", "hero", "**", "*.json"), recursive=True)
                   + glob.glob(os.path.join(top, "examples", "minimal", "*.json")))
    shown = [squeeze(open(f, encoding="utf-8").read()) for f in files]
    text = open(page, encoding="utf-8").read()
    blocks = re.findall(r"^```json\n(.*?)^```", text, re.S | re.M)
    wanted = [(line.strip(), squeeze(line).rstrip(","))
              for block in blocks for line in block.splitlines()]
    wanted = [(line, w) for line, w in wanted if w and "..." not in w]
    checked = len(wanted)
    missing = [line for line, w in wanted if not any(w in f for f in shown)]
    for line in missing:
        print("docs/making-a-puppet.md shows a line no sample file has: " + line)
    # A page without excerpts, or a pattern that finds none, must not pass.
    if len(blocks) < 10 or checked < 50:
        print("only %d JSON blocks (%d lines) found: the page or this test changed" % (len(blocks), checked))
        return 1
    print("%d JSON blocks, %d lines checked against %d files: %d passed, %d failed"
          % (len(blocks), checked, len(files), checked - len(missing), len(missing)))
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())

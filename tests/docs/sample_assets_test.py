#!/usr/bin/env python3
"""The sample puppet's committed images and voice are what its scripts make.

Runs examples/hero/make_voice.py and make_textures.py into a scratch folder
and compares every file they write, byte for byte, with the committed one, so
that a script changed without its output committed (or the reverse) fails.

    sample_assets_test.py SOURCE_DIR
"""
import os
import subprocess
import sys
import tempfile


def main():
    hero = os.path.join(sys.argv[1], "examples", "hero")
    stale = []
    with tempfile.TemporaryDirectory(prefix="kivanime-hero-assets") as scratch:
        for script, committed in (("make_voice.py", hero),
                                  ("make_textures.py", os.path.join(hero, "textures"))):
            into = os.path.join(scratch, script)
            subprocess.run([sys.executable, os.path.join(hero, script), into], check=True,
                           stdout=subprocess.DEVNULL)
            made = sorted(os.listdir(into))
            if not made:
                stale.append(f"{script} wrote nothing")
            for name in made:
                with open(os.path.join(into, name), "rb") as a:
                    fresh = a.read()
                path = os.path.join(committed, name)
                old = open(path, "rb").read() if os.path.exists(path) else None
                if fresh != old:
                    stale.append(f"{name}: run {script} again and commit the result")
    for line in stale:
        print(line)
    print(f"sample assets: {'stale' if stale else 'as the scripts make them'}")
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main())

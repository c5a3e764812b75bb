#!/usr/bin/env bash
# Compares every result, texture call and draw record (floats as bit patterns)
# of the recorded scenes (tests/fixtures/record-scene*.txt: a 300-frame scene,
# and puppets with meshes drawn without a mesh function), played through two
# builds of the shared library: the check that a speed change, or a feature a
# scene does not ask for, left every result identical to the bit. A scene
# that calls functions the old library does not export is reported as not
# comparable (naming them) and the other scenes compare as before.
#   scripts/compare-records.sh OLD_LIBRARY_DIR [NEW_LIBRARY_DIR]
# The folders hold libkivanime.so, e.g. a release build of the last commit
# (git worktree add /tmp/base HEAD && cmake --preset release ...) and
# build/release/src (the default).
set -euo pipefail
cd "$(dirname "$0")/.."
old=$(cd "$1" && pwd)
new=$(cd "${2:-build/release/src}" && pwd)
cmake --preset dev > /dev/null
cmake --build --preset dev --target kivanime_record_sequence > /dev/null
recorder=build/dev/tests/web/kivanime_record_sequence
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# The functions a recording called that the library lacks (the recorder
# prints "= not exported" right after such a call's line).
lacks() {
    grep -B1 '^= not exported$' "$1" | grep -v '^= not exported$\|^--$' | awk '{print "Anime_" $1}' | sort -u | paste -sd, - | sed 's/,/, /g'
}
for scene in tests/fixtures/record-scene*.txt; do
    LD_LIBRARY_PATH=$old "$recorder" "$scene" > "$out/old"
    LD_LIBRARY_PATH=$new "$recorder" "$scene" > "$out/new"
    if [ -n "$(lacks "$out/new")" ]; then
        echo "$scene: the new library lacks $(lacks "$out/new")" >&2
        exit 1
    elif [ -n "$(lacks "$out/old")" ]; then
        # A scene of calls the old library does not have says so and is
        # left out; the others still compare.
        echo "$scene: not comparable: the old library lacks $(lacks "$out/old")"
    elif cmp -s "$out/old" "$out/new"; then
        echo "$scene: identical, $(grep -c '^draw' "$out/new" || true) draw records"
    else
        diff "$out/old" "$out/new" | head -20
        echo "$scene: the two libraries differ (first differences above)" >&2
        exit 1
    fi
done

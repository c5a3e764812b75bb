#!/usr/bin/env bash
# Fails when any C or C++ file of the project differs from clang-format's output.
set -euo pipefail
cd "$(dirname "$0")/.."
fmt=$(command -v clang-format-14 || command -v clang-format)
files=$(git ls-files '*.h' '*.c' '*.cpp' | grep -v '^third_party/' || true)
[ -z "$files" ] && exit 0
bad=0
for f in $files; do
    if ! "$fmt" --style=file "$f" | cmp -s - "$f"; then
        echo "not formatted: $f" >&2
        bad=1
    fi
done
[ $bad -eq 0 ] && echo "format: all files follow .clang-format"
exit $bad

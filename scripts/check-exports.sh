#!/usr/bin/env bash
# Checks that a built library exports exactly the functions the header
# declares: the list the build made from it (generated/exports.txt of the
# library's build folder, or the list given).
# Usage: scripts/check-exports.sh path/to/libkivanime.so|kivanime.dll [exports.txt]
set -euo pipefail
lib="$1"
list="${2:-$(dirname "$lib")/../generated/exports.txt}"
case "$lib" in
    *.dll)
        objdump_cmd=${OBJDUMP:-x86_64-w64-mingw32-objdump}
        actual=$("$objdump_cmd" -p "$lib" | awk '/\[Ordinal\/Name Pointer\] Table/{f=1;next} f&&/^\t\[/{print $NF} f&&/^$/{f=0}' | sort)
        ;;
    *)
        actual=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sort)
        # The SONAME carries the major version of the header.
        major=$(sed -n 's/^#define KIVANIME_VERSION_MAJOR \([0-9]*\)$/\1/p' "$(dirname "$0")/../include/kivanime.h")
        soname=$(readelf -d "$lib" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
        if [ "$soname" != "libkivanime.so.$major" ]; then
            echo "export check FAILED for $lib: SONAME '$soname', expected libkivanime.so.$major" >&2
            exit 1
        fi
        ;;
esac
want=$(grep '^Anime_' "$list" | sort)
if [ "$actual" != "$want" ]; then
    echo "export check FAILED for $lib" >&2
    diff <(echo "$want") <(echo "$actual") >&2 || true
    exit 1
fi
echo "exports: exactly the $(echo "$want" | wc -l) functions of the header in $(basename "$lib")"

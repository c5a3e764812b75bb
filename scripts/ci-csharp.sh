#!/usr/bin/env bash
# Builds and runs the C# binding tests under Mono: a C# host plays the sample
# puppet and must record the same host calls, bit for bit, as the C recording
# host. Without Mono the tests are skipped with the reason, or fail when
# KIVANIME_NO_SKIP=1 (as in CI). Ends with the line "N passed, N failed".
set -euo pipefail
cd "$(dirname "$0")/.."

for tool in mcs mono; do
    if ! command -v "$tool" >/dev/null; then
        echo "C# binding tests cannot run: $tool is missing (scripts/install-deps.sh csharp)"
        [ "${KIVANIME_NO_SKIP:-}" = 1 ] && exit 1
        echo "skipped"
        exit 0
    fi
done

# Configure again so that the build finds Mono even if it came after the
# first configure.
cmake --preset dev >/dev/null
cmake --build build/dev -j2 --target kivanime_csharp_tests
LD_LIBRARY_PATH="$PWD/build/dev/src${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
    mono build/dev/tests/csharp/kivanime_csharp_tests.exe "$PWD" tests/csharp/script.txt \
    build/dev/tests/web/kivanime_record_sequence build/dev/generated/signatures.txt

#!/usr/bin/env bash
# Builds the library, the tools and the tests with warnings as errors and runs
# every suite: the C++ tests (with the docs' programs and commands, the
# install and the C# bindings under Mono) and the browser tests (the
# WebAssembly build in headless Chromium). Installs the missing Debian
# packages and the pinned npm packages first. Nothing may be skipped.
#
#   scripts/test.sh         every suite
#   scripts/test.sh cpp     the C++ suite alone, for the inner loop: installs
#                           only the build tools, libpng, giflib and libsndfile, and
#                           runs what the dev build registers with ctest
#                           but the C# bindings' test
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-all}" in
    cpp)
        scripts/install-deps.sh demo
        cmake --preset dev
        cmake --build --preset dev
        ctest --preset dev -j2 --label-exclude csharp
        ;;
    all)
        export KIVANIME_NO_SKIP=1
        scripts/install-deps.sh demo csharp web
        # Configure again so that the build sees Mono even if it came after
        # the first configure.
        cmake --preset dev
        cmake --build --preset dev
        ctest --preset dev -j2
        scripts/ci-web.sh
        ;;
    *)
        echo "usage: scripts/test.sh [cpp]" >&2
        exit 2
        ;;
esac

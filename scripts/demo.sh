#!/usr/bin/env bash
# Builds the library and runs the minimal C host on the bundled minimal model,
# printing the draw records it receives.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DKIVANIME_BUILD_TESTS=OFF \
    -DKIVANIME_BUILD_TOOLS=OFF
cmake --build build/demo --target kivanime-minimal-host
build/demo/examples/kivanime-minimal-host examples/minimal/model.json

#!/usr/bin/env bash
# Builds the library, the tools and the test suite with warnings as errors and
# runs every test. Installs missing Debian packages first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh demo
cmake --preset dev
cmake --build --preset dev
ctest --preset dev "$@"

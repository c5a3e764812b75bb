#!/usr/bin/env bash
# The browser tests, as scripts/test.sh runs them: installs emscripten,
# Chromium and the pinned npm packages, builds the web folder (which is the
# npm package) and the native programs the browser tests compare against,
# and runs every test under tests/web in headless Chromium, the npm
# package's among them (packed, installed into a scratch project,
# type-checked and played). Nothing may be skipped here.
set -euo pipefail
cd "$(dirname "$0")/.."
export KIVANIME_NO_SKIP="${KIVANIME_NO_SKIP:-1}"
scripts/install-deps.sh demo web
npm ci --no-audit --no-fund --loglevel=error
scripts/web.sh
# The JavaScript is plain ES modules with JSDoc types; the compiler checks
# them in strict mode, as built (with the module made from the header).
node_modules/.bin/tsc -p build/wasm/web/tsconfig.json
cmake --preset dev >/dev/null
cmake --build --preset dev --target kivanime_record_sequence kivanime_number_probe kivanime-player
node --test tests/web/

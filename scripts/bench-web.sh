#!/usr/bin/env bash
# The WebAssembly library against the native one on the same scene (the
# sample puppet, 100 and 1,000 instances): builds the release preset's
# kivanime_hero_crowd and the web folder, then prints both sets of figures
# side by side. Needs the npm packages (npm ci) and Chromium.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/web.sh
[ -d node_modules/puppeteer-core ] || npm ci --no-audit --no-fund --loglevel=error
cmake --preset release >/dev/null
cmake --build --preset release --target kivanime_hero_crowd
node bench/web-bench.mjs build/release/bench/kivanime_hero_crowd

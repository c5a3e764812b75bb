#!/usr/bin/env bash
# Builds the web folder build/wasm/web: the library and the lint compiled to
# WebAssembly with Debian's emscripten, the JavaScript modules, the viewer and
# benchmark pages and the sample puppet. Everything a page needs is in the
# folder, so it works offline from any static server. The folder is the npm
# package too (package.json, LICENSE, type declarations): `npm pack` in it
# makes the tarball.
#
#   scripts/web.sh              build
#   scripts/web.sh serve [PORT] serve the folder on 127.0.0.1 (default port
#                               8013) until interrupted: an existing build is
#                               brought up to date and served without the
#                               package installer; the first builds it all
set -euo pipefail
cd "$(dirname "$0")/.."
# emcc finds its JavaScript helpers through NODE_PATH.
export NODE_PATH=/usr/share/nodejs
if [ "${1:-}" = serve ] && [ -f build/wasm/build.ninja ] && [ -d build/wasm/web/wasm ]; then
    # Builds only what changed since (nothing when it is up to date).
    cmake --build --preset wasm
else
    scripts/install-deps.sh web
    # The pinned TypeScript compiler writes the package's type declarations.
    [ -x node_modules/.bin/tsc ] || npm ci --no-audit --no-fund --loglevel=error
    cmake --preset wasm >/dev/null
    cmake --build --preset wasm
fi
echo "web folder: build/wasm/web"
if [ "${1:-}" = serve ]; then
    port="${2:-8013}"
    echo "serving on http://127.0.0.1:$port/ (viewer: /viewer/, benchmark: /bench/); Ctrl-C stops"
    exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build/wasm/web
fi

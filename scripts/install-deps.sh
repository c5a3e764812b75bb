#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need,
# skipping those already present. Usage: scripts/install-deps.sh [group...]
# Groups: build (default), demo, ci, web (the WebAssembly build and the
# browser tests: emscripten, Chromium, Node.js with npm).
set -euo pipefail

build_pkgs=(cmake ninja-build g++ pkg-config libgtest-dev)
demo_pkgs=(libpng-dev libgif-dev)
ci_pkgs=(clang-14 libclang-rt-14-dev clang-format-14 valgrind libbenchmark-dev binutils googletest
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 wine)

web_pkgs=(emscripten chromium nodejs python3)
# Debian's npm, unless the installed Node.js brings its own.
command -v npm >/dev/null 2>&1 || web_pkgs+=(npm)

groups=("$@")
[ ${#groups[@]} -eq 0 ] && groups=(build)

want=()
for g in "${groups[@]}"; do
    case "$g" in
        build) want+=("${build_pkgs[@]}") ;;
        demo) want+=("${build_pkgs[@]}" "${demo_pkgs[@]}") ;;
        web) want+=("${build_pkgs[@]}" "${web_pkgs[@]}") ;;
        ci) want+=("${build_pkgs[@]}" "${demo_pkgs[@]}" "${ci_pkgs[@]}") ;;
        *) echo "unknown group: $g" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${want[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
echo "installing: ${missing[*]}" >&2
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

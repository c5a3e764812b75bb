#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need,
# skipping those already present. Usage: scripts/install-deps.sh [group...]
# Groups: build (default), demo, csharp (Mono, for the C# bindings), ci, web
# (the WebAssembly build and the browser tests: emscripten, Chromium, Node.js
# with npm). Also generates the decimal-comma locale (de_DE.UTF-8) that the
# number-reading tests switch to.
set -euo pipefail

# clang-14 and python3 in every group that builds: the build describes the C
# interface from the header through clang's parser (tools/interface).
build_pkgs=(cmake ninja-build g++ pkg-config libgtest-dev locales clang-14 python3)
demo_pkgs=(libpng-dev libgif-dev libsndfile1-dev)
ci_pkgs=(libclang-rt-14-dev clang-format-14 valgrind libbenchmark-dev binutils googletest
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 wine)
csharp_pkgs=(mono-mcs mono-runtime)

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
        csharp) want+=("${csharp_pkgs[@]}") ;;
        ci) want+=("${build_pkgs[@]}" "${demo_pkgs[@]}" "${ci_pkgs[@]}" "${csharp_pkgs[@]}") ;;
        web) want+=("${build_pkgs[@]}" "${web_pkgs[@]}") ;;
        *) echo "unknown group: $g" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${want[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}" >&2
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

# A host may run with a decimal comma; the tests check that numbers in files
# read the same then, so one such locale must exist. A fresh Debian has only
# C.UTF-8. The entry in /etc/locale.gen keeps it when locale-gen runs again.
if [ "$(LC_ALL=de_DE.UTF-8 locale decimal_point 2>/dev/null)" != "," ]; then
    echo "generating the de_DE.UTF-8 locale" >&2
    if [ -f /etc/locale.gen ] && ! grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen; then
        echo "de_DE.UTF-8 UTF-8" | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    fi
    "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi

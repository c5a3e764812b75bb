#!/usr/bin/env bash
# The main demo: builds the library and the reference player, then renders the
# sample puppet's scene to out/hero.gif and a contact sheet out/hero-sheet.png.
# Installs missing Debian packages first. Extra arguments go to the player,
# e.g.  scripts/demo.sh --fps 30
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh demo

build=build/demo
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKIVANIME_BUILD_TESTS=OFF \
    -DKIVANIME_BUILD_TOOLS=ON >/dev/null
cmake --build "$build" --target kivanime kivanime-player

mkdir -p out
"$build/tools/player/kivanime-player" \
    --timeline examples/hero/scene.json \
    --gif out/hero.gif \
    --contact-sheet out/hero-sheet.png --sheet-frames 0,40,62,74,84,100,122,149 \
    --sheet-columns 4 --thumb-scale 0.4 \
    "$@"
echo "wrote out/hero.gif and out/hero-sheet.png"
# Where the player is, and the command for a puppet of one's own: the
# starter puppet of docs/making-a-puppet.md, whose model.json to replace.
player="$PWD/$build/tools/player/kivanime-player"
echo
echo "The player is $player. Play your own puppet with it, as this starter puppet:"
printf '  %q %q --size 256x256 --origin 0,0 --motion nod --gif out/minimal.gif\n' \
    "$player" "$PWD/examples/minimal/model.json"

#!/usr/bin/env bash
# The main job: install, build, then run an unattended registry and unnecessary-file scan of the
# demo prefix and print the batch log. The scan runs on a copy, so the demo stays as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target vaskimo
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cp -a examples/demo-prefix/. "$prefix/"
# No display is needed: with a batch switch and none, the program runs offscreen.
env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX="$prefix" build/src/vaskimo -reg -unn -exit
tr -d '\r' < build/src/Vaskimo.log

#!/usr/bin/env bash
# Renders every window as a new user first sees it (the demo prefix, the default size, after its
# search) to PNG files in FOLDER, on Qt's offscreen platform; no display is needed.
#   bash scripts/screenshots.sh [FOLDER]     (default: build/screenshots)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
folder=$(realpath -m "${1:-$root/build/screenshots}")
cd "$root"
if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build build -j"$(nproc)" --target screenshots
QT_QPA_PLATFORM=offscreen build/tests/shell/screenshots "$folder"

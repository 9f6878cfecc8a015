#!/usr/bin/env bash
# Renders each page of the programs' windows to PNG files in
# docs/screenshots/, offscreen (no display needed). Builds what it needs.
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target window_screenshots -j2
out=docs/screenshots
mkdir -p "$out"
# The windows read server.txt and the store from the working directory:
# render them in an empty one so the pictures show the defaults.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
abs_out=$(cd "$out" && pwd)
(cd "$work" && QT_QPA_PLATFORM=offscreen "$OLDPWD/$build/bin/window_screenshots" "$abs_out")

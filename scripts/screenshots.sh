#!/usr/bin/env bash
# Renders each page of each program's window to PNG files in
# docs/screenshots/, offscreen (no display needed). Builds what it needs.
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
known=$(cmake --build "$build" --target help)
targets=()
for program in ravelin quillon merlon; do
  if grep -q "^${program}_screenshots:" <<<"$known"; then
    targets+=("${program}_screenshots")
  else
    echo "screenshots: no window for $program in this build; skipped" >&2
  fi
done
((${#targets[@]})) || { echo "screenshots: nothing to render (is Qt 6 installed?)" >&2; exit 1; }
cmake --build "$build" --target "${targets[@]}" -j2
out="$root/docs/screenshots"
mkdir -p "$out"
# The windows read server.txt from the working directory: render them in an
# empty one so the pictures show the defaults.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in "${targets[@]}"; do
  (cd "$work" && QT_QPA_PLATFORM=offscreen "$root/$build/bin/$target" "$out")
done
# The web page at 360 and 1280 px, in headless Chromium against a Quillon on
# a scratch station (its browser test takes the pictures).
cmake --build "$build" --target Quillon -j2
python3 tests/system/web_page_test.py "$root/$build/bin/Quillon" "$out" ||
  echo "screenshots: the web page was not rendered (see above)" >&2

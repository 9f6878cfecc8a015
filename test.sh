#!/usr/bin/env bash
# Installs what the station needs, builds it and runs every test: the whole
# suite, then the input-reading modules again under ASan/UBSan, then the
# fuzz targets for a bounded time (TAVREL_FUZZ_SECONDS each, default 10).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
scripts/sanitizer-tests.sh
scripts/run-fuzzers.sh "${TAVREL_FUZZ_SECONDS:-10}"
ctest --test-dir build --output-on-failure -j2 --timeout 600

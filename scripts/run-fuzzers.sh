#!/usr/bin/env bash
# Builds every libFuzzer target in build-fuzz/ (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each on its seed corpus
# tests/fuzz/corpus/<target>/ for a bounded time.
#
#   scripts/run-fuzzers.sh [seconds-per-target]     (default 15)
#
# Exits non-zero when a target crashes, leaks or hangs; the input that did it
# is left in build-fuzz/artifacts/. Skips, exiting 0, when clang is absent.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-15}
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds < 1)); then
  echo "run-fuzzers: seconds per target must be a positive whole number, not '$seconds'" >&2
  exit 2
fi

cxx=$(command -v clang++ || command -v clang++-14 || true)
cc=$(command -v clang || command -v clang-14 || true)
if [[ -z $cxx || -z $cc ]]; then
  echo "run-fuzzers: clang is not installed, fuzzing skipped (apt-get install clang libclang-rt-dev)"
  exit 0
fi

build=$root/build-fuzz
# Libraries get coverage and sanitizers too, so a fault inside the store or
# the platform layer is caught where it happens.
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
mkdir -p "$build"
echo "run-fuzzers: configuring $build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DTAVREL_FUZZ=ON >"$build/configure.log" 2>&1 || {
  cat "$build/configure.log" >&2
  echo "run-fuzzers: configuring the fuzz build failed (log above)" >&2
  exit 1
}
echo "run-fuzzers: building the fuzz targets"
cmake --build "$build" --target fuzzers -j"$(nproc)"

shopt -s nullglob
targets=("$build"/fuzz/*)
if ((${#targets[@]} == 0)); then
  echo "run-fuzzers: no fuzz targets were built" >&2
  exit 1
fi

mkdir -p "$build/artifacts"
failed=()
for target in "${targets[@]}"; do
  [[ -x $target && -f $target ]] || continue
  name=$(basename "$target")
  seeds=$root/tests/fuzz/corpus/$name
  # New inputs go to a scratch corpus, never into the source tree.
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  corpora=("$work")
  [[ -d $seeds ]] && corpora+=("$seeds")
  echo "run-fuzzers: $name for ${seconds}s"
  if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=4096 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$name-" "${corpora[@]}" \
      >"$build/$name.log" 2>&1; then
    grep -E '^stat::number_of_executed_units' "$build/$name.log" | sed "s/^/  /" || true
  else
    tail -n 40 "$build/$name.log" >&2
    echo "run-fuzzers: $name FAILED (full log $build/$name.log)" >&2
    failed+=("$name")
  fi
  rm -rf "$work"
  trap - EXIT
done

if ((${#failed[@]})); then
  echo "run-fuzzers: failures in ${failed[*]}" >&2
  exit 1
fi
echo "run-fuzzers: all targets ran clean"

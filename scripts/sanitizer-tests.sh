#!/usr/bin/env bash
# Builds the modules that read outside input (store, catalogues, codec,
# modem link and engine, listener, simulated modem) with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan/ and runs their unit tests there.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-asan
targets=(
  platform_foundation_test store_test catalogue_test pdu_test codec_test
  engine_link_test engine_serial_test engine_suspendable_thread_test engine_thread_test
  engine_phases_send_test engine_phases_receive_test engine_reconnect_test engine_exchange_test
  engine_delivery_reports_test listener_connection_test listener_thread_test listener_http_test
  modemsim_test modemsim
)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVREL_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
failed=()
for t in "${targets[@]}"; do
  [[ $t == *_test ]] || continue
  echo "== $t (sanitized)"
  if ! "$build/tests/$t" --gtest_brief=1; then failed+=("$t"); fi
done
if ((${#failed[@]})); then
  echo "sanitizer-tests: failed under ASan/UBSan: ${failed[*]}" >&2
  exit 1
fi
echo "sanitizer-tests: ${#targets[@]} targets clean under ASan/UBSan"

#!/usr/bin/env bash
# Builds with warnings as errors and runs the whole suite twice: plain, and under
# AddressSanitizer and UndefinedBehaviorSanitizer; then fuzzes the decoder and the whole program
# for 30 seconds each.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

passed=0
run_suite() {
  local dir=$1
  shift
  echo "== $dir"
  cmake -S . -B "$dir" -G Ninja -DVARNU_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" | tee "$dir/ctest.log"
  local count
  count=$(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' "$dir/ctest.log")
  passed=$((passed + ${count:-0}))
}

run_suite build/test-plain -DCMAKE_BUILD_TYPE=Release
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build/test-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNU_SANITIZE=ON
scripts/fuzz.sh 30
# Every step above stops the script on a failure, so reaching here means all passed: the tests
# of both builds and the two fuzz targets.
echo "total: $((passed + 2)) passed, 0 failed"

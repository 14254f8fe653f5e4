#!/usr/bin/env bash
# Builds with warnings as errors and runs the whole suite: the Windows programs are cross-built
# and the end-to-end tests run against them under Wine as well as against the Linux build; then
# the suite again under AddressSanitizer and UndefinedBehaviorSanitizer; then the decoder and the
# whole program are fuzzed for 30 seconds each.
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

echo "== build/test-windows"
cmake -S . -B build/test-windows -G Ninja -DVARNU_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build build/test-windows -j "$jobs"

# One Wine server for the whole run, stopped (and waited for) however the run ends.
scripts/wine-run --start
trap 'scripts/wine-run --stop' EXIT
run_suite build/test-plain -DCMAKE_BUILD_TYPE=Release \
  -DVARNU_WINDOWS_PROGRAM="$PWD/build/test-windows/varnu.exe"
scripts/wine-run --stop
trap - EXIT

ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build/test-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNU_SANITIZE=ON
scripts/fuzz.sh 30
# Every step above stops the script on a failure, so reaching here means all passed: the tests
# of both builds and the two fuzz targets.
echo "total: $((passed + 2)) passed, 0 failed"

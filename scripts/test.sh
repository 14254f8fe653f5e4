#!/usr/bin/env bash
# Builds with warnings as errors and runs the whole suite: the Windows programs and unit tests are
# cross-built, and the unit tests run as Windows programs under Wine; the WebAssembly programs are
# built for Node.js and the web page; the Linux suite runs its end-to-end tests against the Linux,
# the Windows and the Node.js build; the release files are made from the Linux and Windows builds
# and checked (scripts/release.sh); the page is tested in Chromium; then the suite runs again
# under AddressSanitizer and UndefinedBehaviorSanitizer; then the decoder, the whole program and
# the packer's input readers are fuzzed for 30 seconds each.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

passed=0
skipped=0
build() {
  local dir=$1
  shift
  echo "== $dir"
  cmake -S . -B "$dir" -G Ninja -DVARNU_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}
run_tests() {
  local dir=$1
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" | tee "$dir/ctest.log"
  local count not_run
  count=$(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' "$dir/ctest.log")
  not_run=$(grep -c '(Skipped)$' "$dir/ctest.log" || true)
  passed=$((passed + ${count:-0} - not_run))
  skipped=$((skipped + not_run))
}

build build/test-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DVARNU_TESTS=ON
# The WebAssembly programs for Node.js, whose end-to-end run is the Linux suite's, and the page,
# with its zip library and test driver from the lock file.
npm ci --no-audit --no-fund
scripts/build-web.sh -DVARNU_WERROR=ON
build build/test-plain -DCMAKE_BUILD_TYPE=Release \
  -DVARNU_WINDOWS_PROGRAM="$PWD/build/test-windows/varnu.exe" \
  -DVARNU_NODE_PROGRAM="$PWD/build/web/varnu.js"
# One Wine server for every Windows program of the run, stopped (and waited for) however the run
# ends.
scripts/wine-run --start
trap 'scripts/wine-run --stop' EXIT
run_tests build/test-windows
run_tests build/test-plain
scripts/wine-run --stop
trap - EXIT
# Into a folder of the test run's own: dist/ holds only what a release made.
scripts/release.sh build/test-plain build/test-windows build/test-release

# The page in Debian's Chromium, driven through its roles and labels; what it saves is compared
# with what the native programs of build/test-plain write from the same inputs.
VARNU_NATIVE_BUILD=build/test-plain VARNU_WEB_BUILD=build/web \
  node --test tests/browser/page.test.mjs | tee build/web/browser-tests.log
passed=$((passed + $(sed -n 's/^# pass //p' build/web/browser-tests.log)))
skipped=$((skipped + $(sed -n 's/^# skipped //p' build/web/browser-tests.log)))

run_suite() {
  build "$@"
  run_tests "$1"
}
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build/test-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNU_SANITIZE=ON
scripts/fuzz.sh 30
# Every step above stops the script on a failure, so reaching here means all passed: the tests
# of every build and the three fuzz targets. Skipped are the cases that a Windows program or the
# Node.js build cannot meet (each says why in the log).
echo "total: $((passed + 3)) passed, 0 failed, $skipped skipped"

#!/usr/bin/env bash
# Builds with warnings as errors and runs the whole suite, in two lanes side by side:
#
# - The released builds: the Windows programs and unit tests are cross-built, and the unit tests
#   run as Windows programs under Wine; the WebAssembly programs are built for Node.js and the web
#   page; the Linux suite runs its end-to-end tests against the Linux, the Windows and the Node.js
#   build; the release files are made from the Linux and Windows builds and checked
#   (scripts/release.sh); the page is tested in Chromium and in Firefox.
# - The sanitizers: one clang build runs the suite under AddressSanitizer and
#   UndefinedBehaviorSanitizer and holds the libFuzzer targets, which then fuzz the decoder, the
#   archive walk, the packer's input readers and the patch reader for 30 seconds, side by side;
#   the packer's end-to-end tests run under ThreadSanitizer, against a varnu-pack built with it.
#   Then, once the other lane has built the page and the native programs, the page opens the
#   largest archives in both browsers.
#
# Every build is a CMake preset's (CMakePresets.json), with warnings as errors. The lanes share
# the machine's cores; the sanitizers' lane writes build/sanitizers.log, shown when it ends.
set -euo pipefail
cd "$(dirname "$0")/.."
# Everything the run needs, installed here once; the scripts called below find their own groups
# already there.
scripts/install-deps.sh all

mkdir -p build
counts=build/test-counts  # one line per suite: passed skipped
: >"$counts"
build() {  # build PRESET [-DNAME=VALUE...]: configures and builds build/PRESET
  local preset=$1
  shift
  echo "== build/$preset"
  cmake --preset "$preset" "$@" >/dev/null
  cmake --build --preset "$preset"
}
run_tests() {  # run_tests PRESET: runs build/PRESET's tests and counts them
  local log=build/$1/ctest.log
  ctest --preset "$1" -j "$(nproc)" | tee "$log"
  local count not_run
  count=$(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' "$log")
  not_run=$(grep -c '(Skipped)$' "$log" || true)
  echo "$((${count:-0} - not_run)) $not_run" >>"$counts"
}

# browser_suite NAME: the page's suite tests/browser/NAME.test.mjs in Chromium and Firefox, which
# compares what the page saves with what build/test-plain's programs write.
# Its status is the suite's, wherever it is called from.
browser_suite() {
  local log=build/web/browser-$1-tests.log status=0
  VARNU_NATIVE_BUILD=build/test-plain VARNU_WEB_BUILD=build/web \
    node --test tests/browser/$1.test.mjs >"$log" || status=$?
  echo "$(sed -n 's/^# pass //p' "$log") $(sed -n 's/^# skipped //p' "$log")" >>"$counts"
  return "$status"
}
# Made by the other lane once the page and the native programs are built.
browsers_may_start=build/browsers-may-start
rm -f "$browsers_may_start"

sanitizers() {
  build test-sanitize
  run_tests test-sanitize
  scripts/fuzz.sh 30 test-sanitize | tee build/fuzz.log
  echo "$(sed -n 's/^fuzz: \([0-9]*\) passed.*/\1/p' build/fuzz.log) 0" >>"$counts"  # the fuzz targets
  # varnu-pack's threads, watched for data races: a race ends the packer with status 66, which
  # fails the test that ran it.
  build test-thread
  run_tests test-thread
  # The largest archives in the browsers, while the other lane runs the page's other suite.
  while [ ! -e "$browsers_may_start" ]; do sleep 2; done
  echo "== the largest archives in the browsers"
  browser_suite large
}
sanitizers >build/sanitizers.log 2>&1 &
sanitizers_lane=$!
# Whatever ends this script ends the other lane too.
trap 'kill "$sanitizers_lane" 2>/dev/null || true' EXIT

build test-windows
# The WebAssembly programs for Node.js, whose end-to-end run is the Linux suite's, and the page.
scripts/build-web.sh -DVARNU_WERROR=ON
build test-plain -DVARNU_WINDOWS_PROGRAM="$PWD/build/test-windows/varnu.exe" \
  -DVARNU_NODE_PROGRAM="$PWD/build/web/varnu.js"
touch "$browsers_may_start"
# One Wine server for every Windows program of the run, stopped (and waited for) however the run
# ends.
scripts/wine-run --start
trap 'scripts/wine-run --stop; kill "$sanitizers_lane" 2>/dev/null || true' EXIT
run_tests test-windows
run_tests test-plain
scripts/wine-run --stop
trap 'kill "$sanitizers_lane" 2>/dev/null || true' EXIT
# Into a folder of the test run's own: dist/ holds only what a release made.
scripts/release.sh build/test-plain build/test-windows build/test-release

# The page in Debian's Chromium and Firefox, the same scenarios in each, driven through its roles
# and labels; what it saves is compared with what the native programs of build/test-plain write
# from the same inputs. The other lane meanwhile runs the largest archives, with the browser's
# memory under 1 GiB at every step (VARNU_LARGE_ARCHIVES=1 saves every one of them whole in both
# engines, minutes longer). Each suite starts its browsers in turn.
echo "== the page in the browsers"
browser_suite page || { cat build/web/browser-page-tests.log; exit 1; }
cat build/web/browser-page-tests.log

echo "== the sanitizers' lane and the largest archives (build/sanitizers.log)"
if ! wait "$sanitizers_lane"; then
  cat build/sanitizers.log build/web/browser-large-tests.log 2>/dev/null
  echo "the sanitizers' lane failed: build/sanitizers.log"
  exit 1
fi
trap - EXIT
grep -E '^(== |[0-9]+% tests passed|Total Test time|fuzz-|fuzz:)' build/sanitizers.log
cat build/web/browser-large-tests.log
# Every step above stops its lane on a failure, so reaching here means all passed: the tests of
# every build and the fuzz targets. Skipped are the cases that a Windows program or the
# Node.js build cannot meet (each says why in the log).
read -r passed skipped < <(awk '{ p += $1; s += $2 } END { print p, s }' "$counts")
echo "total: $passed passed, 0 failed, $skipped skipped"

#!/usr/bin/env bash
# Fuzzes the decoder, the whole program and the packer's input readers (bitmaps, PNG, --like
# archives): builds the libFuzzer targets with clang (CMake preset `fuzz`), seeds their corpora
# with archives, streams and pictures made by the project's own code, and runs each target for the
# given number of seconds (default 30).
# The corpora in build/fuzz/corpus/ are kept, so each run starts where the last one ended. Exits
# non-zero on any finding (crash, leak, timeout, out of memory); the input that caused it is left
# in build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh [seconds-per-target]" >&2
  exit 2
fi
scripts/install-deps.sh build fuzz

# The archive target works inside a scratch directory of its own, so every path it is given
# must be absolute.
root=$(pwd)
build=$root/build/fuzz
findings=$build/findings

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz-lzss fuzz-archive fuzz-pack-input make-seeds

rm -rf "$build/seeds"
"$build/fuzz/make-seeds" "$build/seeds"
mkdir -p "$findings"
for target in lzss archive pack_input; do
  mkdir -p "$build/corpus/$target"
  cp "$build/seeds/$target/"* "$build/corpus/$target/"
done

count() { find "$1" -type f | wc -l; }
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
# The archive target's scratch directories go here; one that found a fault stays until the next
# run of this script.
export TMPDIR=$build/tmp
rm -rf "$TMPDIR"
mkdir -p "$TMPDIR"
passed=0
failed=0
fuzz() {  # fuzz CORPUS [libFuzzer options...]: runs the target that reads CORPUS's inputs
  local target=$1
  shift
  local program=fuzz-${target//_/-}
  local log=$build/$program.log
  echo "== $program for ${seconds}s ($(count "$build/corpus/$target") inputs in corpus)"
  if "$build/fuzz/$program" "$build/corpus/$target" -max_total_time="$seconds" \
    -rss_limit_mb=2048 -timeout=25 -print_final_stats=1 \
    -artifact_prefix="$findings/$target-" "$@" >"$log" 2>&1; then
    passed=$((passed + 1))
    # The packer's target also says how many of its inputs were PNG files.
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)|inputs were PNG files' "$log" || true
    echo "   corpus now $(count "$build/corpus/$target") inputs"
  else
    failed=$((failed + 1))
    tail -n 80 "$log"
    echo "$program found a fault; full log: $log; inputs: $findings/"
  fi
}
fuzz lzss -max_len=32768
fuzz archive -max_len=65536 -dict="$root/fuzz/archive.dict"
# No single allocation may pass 32 MiB: the largest any input may ask for is a converted picture,
# which is refused above 16 MiB before it is allocated.
fuzz pack_input -max_len=16384 -malloc_limit_mb=32

echo "fuzz: $passed passed, $failed failed"
((failed == 0))

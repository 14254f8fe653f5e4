#!/usr/bin/env bash
# scripts/fuzz.sh [SECONDS] [PRESET]: fuzzes the decoder, the archive walk with the writer, the
# packer's input readers (bitmaps, PNG, --like archives) and the VCDIFF patch reader and writer:
# builds the libFuzzer targets with clang
# (CMake preset PRESET, `fuzz` unless named; scripts/test.sh names `test-sanitize`, whose build
# has them too), seeds their corpora with archives, streams and pictures made by the project's own
# code, and runs the targets side by side for SECONDS each (default 30).
# The corpora in build/PRESET/corpus/ are kept, so each run starts where the last one ended. Exits
# non-zero on any finding (crash, leak, timeout, out of memory); the input that caused it is left
# in build/PRESET/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
preset=${2:-fuzz}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh [seconds-per-target] [preset]" >&2
  exit 2
fi
scripts/install-deps.sh build fuzz

root=$(pwd)
build=$root/build/$preset
findings=$build/findings

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target fuzz-lzss fuzz-archive fuzz-pack-input fuzz-patch \
  make-seeds

rm -rf "$build/seeds"
"$build/fuzz/make-seeds" "$build/seeds"
mkdir -p "$findings"
for target in lzss archive pack_input patch; do
  mkdir -p "$build/corpus/$target"
  cp "$build/seeds/$target/"* "$build/corpus/$target/"
done

count() { find "$1" -type f | wc -l; }
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
fuzz() {  # fuzz CORPUS [libFuzzer options...]: runs the target that reads CORPUS's inputs
  local target=$1
  shift
  local program=fuzz-${target//_/-}
  "$build/fuzz/$program" "$build/corpus/$target" -max_total_time="$seconds" \
    -rss_limit_mb=2048 -timeout=25 -print_final_stats=1 \
    -artifact_prefix="$findings/$target-" "$@" >"$build/$program.log" 2>&1
}
# Side by side, so that the four take the time of one.
declare -A started
for target in lzss archive pack_input patch; do
  echo "== fuzz-${target//_/-} for ${seconds}s ($(count "$build/corpus/$target") inputs in corpus)"
done
fuzz lzss -max_len=32768 & started[lzss]=$!
fuzz archive -max_len=65536 -dict="$root/fuzz/archive.dict" & started[archive]=$!
# No single allocation may pass 32 MiB: the largest any input may ask for is a converted picture,
# which is refused above 16 MiB before it is allocated.
fuzz pack_input -max_len=16384 -malloc_limit_mb=32 & started[pack_input]=$!
# The patch target's limits hold a window to 64 KiB and the whole target to 1 MiB.
fuzz patch -max_len=16384 -malloc_limit_mb=32 & started[patch]=$!
passed=0
failed=0
for target in lzss archive pack_input patch; do
  program=fuzz-${target//_/-}
  log=$build/$program.log
  if wait "${started[$target]}"; then
    passed=$((passed + 1))
    # The packer's target also says how many of its inputs were PNG files.
    echo "$program: $(grep -E '^stat::(number_of_executed_units|peak_rss_mb)|inputs were PNG files' "$log" |
      tr -s ' \n' ' ')corpus now $(count "$build/corpus/$target") inputs"
  else
    failed=$((failed + 1))
    tail -n 80 "$log"
    echo "$program found a fault; full log: $log; inputs: $findings/"
  fi
done

echo "fuzz: $passed passed, $failed failed"
((failed == 0))

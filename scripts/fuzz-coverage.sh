#!/usr/bin/env bash
# Which lines of the decoder, the bitmap code and the driver the fuzz corpora reach. Builds both
# targets with clang's source-based coverage (CMake preset `fuzz-coverage`), has each run every
# input of build/fuzz/corpus/ once (the seeds alone when there is no corpus yet), then prints
# llvm-cov's per-file line coverage and every line no input reached.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build fuzz

root=$(pwd)
out=$root/build/fuzz-coverage
cmake --preset fuzz-coverage >/dev/null
cmake --build --preset fuzz-coverage --target fuzz-lzss fuzz-archive make-seeds
rm -f "$out"/*.profraw
# Every program of this build writes a profile; the seed maker's is of no interest, but it goes
# here rather than into the working folder.
export LLVM_PROFILE_FILE=$out/default.profraw

corpus=$root/build/fuzz/corpus
if [ -z "$(ls -A "$corpus/archive" 2>/dev/null)" ] || [ -z "$(ls -A "$corpus/lzss" 2>/dev/null)" ]; then
  echo "no corpus in $corpus yet (scripts/fuzz.sh makes one); replaying the seeds"
  rm -rf "$out/seeds"
  "$out/fuzz/make-seeds" "$out/seeds"
  corpus=$out/seeds
fi

# The archive target's scratch directories.
TMPDIR=$(mktemp -d)
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT
count() { find "$1" -type f | wc -l; }
for target in lzss archive; do
  echo "== fuzz-$target on $(count "$corpus/$target") inputs from $corpus/$target"
  # -runs=0: every input once, no new ones.
  LLVM_PROFILE_FILE="$out/$target.profraw" "$out/fuzz/fuzz-$target" -runs=0 "$corpus/$target" \
    >"$out/fuzz-$target.log" 2>&1 || { tail -n 40 "$out/fuzz-$target.log"; exit 1; }
done
llvm-profdata-14 merge -sparse "$out/lzss.profraw" "$out/archive.profraw" -o "$out/fuzz.profdata"

cov=("$out/fuzz/fuzz-archive" -object "$out/fuzz/fuzz-lzss" -instr-profile="$out/fuzz.profdata")
sources=("$root/src/lzss" "$root/src/bitmap" "$root/src/driver")
echo
# Lines, and branches too: a line can run while one way of its condition never does.
llvm-cov-14 report "${cov[@]}" -show-region-summary=false -show-instantiation-summary=false \
  -show-functions=false "${sources[@]}" |
  awk 'NF >= 10 && $1 != "Filename" {
         printf "%-26s lines %5s missed %4s %8s   branches %4s missed %3s %8s\n",
           $1, $5, $6, $7, $8, $9, $10 }'
echo
echo "== lines no input reached"
llvm-cov-14 show "${cov[@]}" -show-line-counts -show-branches=count -use-color=false \
  "${sources[@]}" >"$out/lines.txt"
# show prints each file's path on a line of its own, then "line|count|source" rows, each
# branch's counts on a row of its own after the line.
awk -F'|' -v root="$root/" '
  /^\/.*:$/ { file = substr($0, 1, length($0) - 1); sub(root, "", file); next }
  NF >= 3 && $2 ~ /^ *0$/ {
    line = $1; gsub(/ /, "", line); text = $0; sub(/^[^|]*\|[^|]*\|/, "", text)
    print file ":" line ":" text
  }' "$out/lines.txt"
echo
echo "== branches taken only one way (line:column)"
awk -v root="$root/" '
  /^\/.*:$/ { file = substr($0, 1, length($0) - 1); sub(root, "", file); next }
  /Branch \(/ && /(True|False): 0[],]/ {
    where = $0; sub(/.*Branch \(/, "", where); sub(/\).*/, "", where)
    counts = $0; sub(/.*\[/, "[", counts)
    print file ":" where " " counts
  }' "$out/lines.txt"
echo "(annotated listing: $out/lines.txt)"

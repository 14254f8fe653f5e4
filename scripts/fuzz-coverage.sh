#!/usr/bin/env bash
# Which lines of the decoder, the bitmap code and the driver the fuzz corpora reach. Builds both
# targets with clang's source-based coverage and a plain main that runs every input once,
# replays build/fuzz/corpus/ (the seeds alone when there is no corpus yet), then prints
# llvm-cov's per-file line coverage and every line no input reached.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

root=$(pwd)
out=$root/build/fuzz-coverage
rm -rf "$out"
mkdir -p "$out/obj"

# Without assertions: an assert's unused branch would show the line after it as never reached.
cxx=(clang++ -std=c++20 -O1 -g -DNDEBUG -Wall -Wextra -Wpedantic -I"$root/src" -I"$root")
coverage=(-fprofile-instr-generate -fcoverage-mapping)
compile() {  # compile OUT SOURCE [flags...]
  local object=$1 source=$2
  shift 2
  "${cxx[@]}" "$@" -c "$source" -o "$object"
}

# The converter without main() and without the real end of the process, as the fuzz build has
# it, plus the seam that stands in for the latter.
mapfile -t core < <(find src -name '*.cpp' ! -name main.cpp ! -name end_process.cpp | sort)
object_of() { echo "$out/obj/$(echo "$1" | tr / _).o"; }
core_objects=()
for source in "${core[@]}" fuzz/end_process_seam.cpp fuzz/fuzz_lzss.cpp fuzz/fuzz_archive.cpp \
  fuzz/run_inputs.cpp; do
  compile "$(object_of "$source")" "$source" "${coverage[@]}" &
  case $source in fuzz/fuzz_* | fuzz/run_inputs.cpp) ;; *) core_objects+=("$(object_of "$source")") ;; esac
  (($(jobs -r | wc -l) < $(nproc))) || wait -n
done
wait
for target in lzss archive; do
  clang++ "${coverage[@]}" "${core_objects[@]}" "$(object_of fuzz/fuzz_$target.cpp)" \
    "$(object_of fuzz/run_inputs.cpp)" -o "$out/fuzz_$target"
done

corpus=$root/build/fuzz/corpus
if [ -z "$(ls -A "$corpus/archive" 2>/dev/null)" ] || [ -z "$(ls -A "$corpus/lzss" 2>/dev/null)" ]; then
  echo "no corpus in $corpus yet (scripts/fuzz.sh makes one); replaying the seeds"
  tools=(tools/lzss_pack.cpp tools/picture.cpp tools/archive.cpp fuzz/make_seeds.cpp)
  "${cxx[@]}" "${tools[@]}" -o "$out/make_seeds"
  "$out/make_seeds" "$out/seeds"
  corpus=$out/seeds
fi

count() { find "$1" -type f | wc -l; }
for target in lzss archive; do
  echo "== fuzz_$target on $(count "$corpus/$target") inputs from $corpus/$target"
  LLVM_PROFILE_FILE="$out/$target.profraw" "$out/fuzz_$target" "$corpus/$target"
done
llvm-profdata-14 merge -sparse "$out/lzss.profraw" "$out/archive.profraw" -o "$out/fuzz.profdata"

cov=("$out/fuzz_archive" -object "$out/fuzz_lzss" -instr-profile="$out/fuzz.profdata")
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

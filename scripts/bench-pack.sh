#!/usr/bin/env bash
# Times varnu-pack from start to end, with hyperfine, on one thread and on more: the benchmark set
# of 400 pictures of about 640 x 480 (123 MB of bitmaps), and 3,600 such pictures (1.1 GB), each
# packed with --no-limits (some of the set's noise packs larger than readers with fixed buffers
# hold). The pictures are the converter's outputs of a `make-corpus` archive, in a folder on
# /dev/shm (a tmpfs) when there is one, so that the disk is not measured (BENCH_TMPDIR=DIR puts it
# under DIR); the archive goes there too. Prints each series' times, the ratio of each thread count's median to one thread's, and
# the peak memory of one run of each.
#
# JOBS sets the thread counts (default "1 2"), RUNS the runs per count on the 400 pictures
# (default 5), LARGE_RUNS those on the 3,600 (default 3; 0 leaves them out: the series takes
# about five minutes on two cores). Other work on the machine shows in the times: the load
# average is printed at the start and the end.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."

jobs=${JOBS:-"1 2"}
runs=${RUNS:-5}
large_runs=${LARGE_RUNS:-3}

. scripts/bench-start
bench_start varnu varnu-pack make-corpus
pictures=3600
((large_runs > 0)) || pictures=400
echo "== making $pictures pictures (the first 400 are the benchmark set)"
cd "$work"
"$bin/make-corpus" corpus.arc $pictures
"$bin/varnu" corpus.arc
rm corpus.arc*
# The converter names outputs _000 to _999, then _A00 to _Z99.
set_400=$(printf 'corpus_%03d.BMP ' $(seq 0 399))
set_3600=$(ls corpus_*.BMP | tr '\n' ' ')
bytes() { du -cb $1 | tail -1 | cut -f1; }
jobs_list=$(echo "$jobs" | tr ' ' ',')

# series NAME RUNS PICTURES...: hyperfine over the thread counts, then the medians against one
# thread's, then peak memory.
series() {
  local name=$1 count=$2
  shift 2
  local pictures="$*"
  echo
  echo "== $name: $(echo $pictures | wc -w) pictures, $(bytes "$pictures") bytes of bitmaps"
  hyperfine --warmup 1 --runs "$count" --export-csv "$work/$name.csv" -L jobs "$jobs_list" \
    "$bin/varnu-pack --no-limits --jobs {jobs} out.arc $pictures" \
    --command-name 'varnu-pack --jobs {jobs}'
  awk -F, 'NR > 1 { name[NR] = $1; median[NR] = $4; user[NR] = $5; sys[NR] = $6 }
    END { printf "%-24s %9s %9s %9s %8s\n", "command", "median s", "user s", "sys s", "vs 1";
      for (k = 2; k <= NR; ++k) printf "%-24s %9.3f %9.3f %9.3f %7.2fx\n", name[k], median[k],
        user[k], sys[k], median[k] / median[2] }' "$work/$name.csv"
  for j in $jobs; do
    /usr/bin/time -f "%M" -o "$work/peak" "$bin/varnu-pack" --no-limits --jobs "$j" out.arc \
      $pictures
    echo "peak memory, --jobs $j: $(($(cat "$work/peak") / 1024)) MiB"
  done
  echo "archive: $(stat -c %s out.arc) bytes"
}

series bench-400 "$runs" "$set_400"
((large_runs > 0)) && series all-3600 "$large_runs" "$set_3600"
echo
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"

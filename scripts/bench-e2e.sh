#!/usr/bin/env bash
# Times whole conversions against the floor: varnu-floor writes the same file names with the same
# sizes straight from memory, the least any converter of the archive must do. Prints medians of
# wall time, CPU time (user + sys) and peak memory, in plain and half-width mode, then how time
# and memory grow with the number of entries.
#
# What is measured is the program and its file system calls, not the disk: outputs go to the page
# cache (no sync per run) and each run's files are deleted before the next, outside the timing.
# The work folder is on /dev/shm when that is a tmpfs, because a disk file system may make every
# deleted file cost later runs: ext4 without a journal, for one, passes over inodes freed in the
# last minutes when it allocates new ones, so thousands of deletions slow the next creations and
# the times would depend on the order of the runs. BENCH_TMPDIR=DIR puts the work folder under
# DIR instead, e.g. to see a disk file system's own cost. A sync before each series keeps dirty
# data left by earlier steps from being flushed in the middle of one.
#
# RUNS sets the repetitions of the main series (default 7), SCALE_RUNS those of the growth
# series (default 3; 0 leaves it out). Takes about a minute on two cores.
#
# WEB=1 adds the Node.js build (build/web/varnu.js, made by scripts/build-web.sh) to the main
# series, run by run beside the native program, together with `node -e 0`: Node's own start-up,
# which the Node.js figures are given with and without.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."

runs=${RUNS:-7}
scale_runs=${SCALE_RUNS:-3}
build=build/bench

scripts/install-deps.sh build bench
echo "== building Release in $build"
cmake --preset bench >/dev/null
cmake --build --preset bench --target varnu varnu-floor make-corpus >/dev/null
bin=$(cd "$build" && pwd)
web=${WEB:-0}
if [ "$web" = 1 ]; then
  echo "== building the Node.js programs"
  scripts/build-web.sh >/dev/null
  node_program=$(cd build/web && pwd)/varnu.js
  node=$(command -v node || command -v nodejs)
fi

work=$(scripts/bench-workdir)
trap 'rm -rf "$work"' EXIT

# make_corpus N: an archive of N pictures in $work/N/corpus.arc, with its two manifests.
make_corpus() {
  mkdir -p "$work/$1"
  "$bin/make-corpus" "$work/$1/corpus.arc" "$1"
}

# time_run RESULTS ARCHIVE COMMAND...: runs COMMAND in a fresh, empty output folder holding a
# link to ARCHIVE named corpus.arc (the program names its outputs after the path it is given),
# and appends "wall user sys peak_kib" to RESULTS. Wall time is taken here, around the timing
# tool, because its own %e counts in steps of 10 ms, too coarse for the short runs.
time_run() {
  local results=$1 archive=$2
  shift 2
  local out="$work/out"
  rm -rf "$out"
  mkdir "$out"
  ln -s "$archive" "$out/corpus.arc"
  pushd "$out" >/dev/null
  local start=$EPOCHREALTIME
  /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "$@" >/dev/null ||
    { echo "failed in $out: $*" >&2 && exit 1; }
  local end=$EPOCHREALTIME
  popd >/dev/null
  rm -rf "$out"
  local user sys peak
  read -r _ user sys peak <"$work/time.txt"
  echo "$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }') $user $sys $peak" \
    >>"$results"
}

# median FILE COLUMN: the median of a column (the mean of the middle two for an even count).
median() {
  awk -v c="$2" '{ print $c }' "$1" | sort -g |
    awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# cpu_median FILE: the median of user + sys.
cpu_median() {
  awk '{ print $2 + $3 }' "$1" >"$1.cpu"
  median "$1.cpu" 1
}

output_bytes() {
  awk '{ s += $2 } END { print s }' "$1"
}

# Other work on the machine shows in wall times first; the load says how much there was.
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== making corpora"
corpora=(400)
((scale_runs > 0)) && corpora+=(10 1000)
for n in "${corpora[@]}"; do make_corpus "$n"; done
main="$work/400/corpus.arc"
echo "400 pictures: $(stat -c %s "$main") bytes of archive, mostly 640x480 (a few 639 or 641)"
echo "outputs go to the page cache of $work ($(stat -f -c %T "$work"))"

# The main series alternates varnu and the floor run by run, so that anything else happening on
# the machine falls on both alike.
for mode in plain half; do
  args=()
  [ "$mode" = half ] && args=(x)
  echo "== $mode mode, 400 entries, $runs runs each"
  # One untimed run brings the program and the archive into memory.
  time_run "$work/warmup" "$main" "$bin/varnu" corpus.arc "${args[@]}"
  [ "$web" = 1 ] && time_run "$work/warmup" "$main" "$node" "$node_program" corpus.arc "${args[@]}"
  sync
  for ((i = 0; i < runs; i++)); do
    time_run "$work/$mode.varnu" "$main" "$bin/varnu" corpus.arc "${args[@]}"
    time_run "$work/$mode.floor" "$main" "$bin/varnu-floor" "$main.$mode"
    if [ "$web" = 1 ]; then
      time_run "$work/$mode.node" "$main" "$node" "$node_program" corpus.arc "${args[@]}"
      time_run "$work/$mode.node-start" "$main" "$node" -e 0
    fi
  done
done

echo
echo "Medians, 400 entries; MB = 10^6 bytes of output, peak memory in MiB:"
printf '%-6s %-6s %9s %9s %9s %9s %9s %10s\n' mode prog "wall s" "user s" "sys s" "MB/s" "peak MiB" "wall/floor"
for mode in plain half; do
  bytes=$(output_bytes "$main.$mode")
  floor_wall=$(median "$work/$mode.floor" 1)
  for prog in varnu floor; do
    f="$work/$mode.$prog"
    wall=$(median "$f" 1)
    awk -v m="$mode" -v p="$prog" -v w="$wall" -v u="$(median "$f" 2)" -v s="$(median "$f" 3)" \
      -v k="$(median "$f" 4)" -v b="$bytes" -v fw="$floor_wall" 'BEGIN {
        printf "%-6s %-6s %9.3f %9.3f %9.3f %9.0f %9.1f %9.2fx\n", m, p, w, u, s, b / w / 1e6,
          k / 1024, w / fw }'
  done
  echo "  ($mode: $(wc -l <"$main.$mode") files, $bytes bytes; varnu CPU (user+sys) median $(cpu_median "$work/$mode.varnu") s)"
done

if [ "$web" = 1 ]; then
  echo
  echo "The Node.js build beside the native program, medians of wall times in seconds; 'less start'"
  echo "takes off the median of node -e 0 in the same series:"
  printf '%-6s %9s %9s %11s %9s %11s\n' mode "node" "node -e 0" "less start" "native" "less/native"
  for mode in plain half; do
    awk -v m="$mode" -v n="$(median "$work/$mode.node" 1)" -v s="$(median "$work/$mode.node-start" 1)" \
      -v v="$(median "$work/$mode.varnu" 1)" 'BEGIN {
        printf "%-6s %9.3f %9.3f %11.3f %9.3f %10.2fx\n", m, n, s, n - s, v, (n - s) / v }'
  done
fi

# SCALE_RUNS=0 leaves the growth series out.
if ((scale_runs > 0)); then
  echo
  echo "== growth, plain mode, $scale_runs runs each"
  sync
  for n in 10 1000; do
    for ((i = 0; i < scale_runs; i++)); do
      time_run "$work/scale.$n.varnu" "$work/$n/corpus.arc" "$bin/varnu" corpus.arc
      time_run "$work/scale.$n.floor" "$work/$n/corpus.arc" "$bin/varnu-floor" \
        "$work/$n/corpus.arc.plain"
    done
  done
  for prog in varnu floor; do cp "$work/plain.$prog" "$work/scale.400.$prog"; done
  # Starting a process through the timing tool costs the same in every run; shown so that the
  # short runs can be read with it taken off.
  for ((i = 0; i < scale_runs; i++)); do time_run "$work/launch" "$main" true; done

  echo "Medians, plain mode (the 400 row is the main series):"
  printf '%8s %9s %9s %9s %10s %9s\n' entries "wall s" "CPU s" "floor s" "wall/floor" "peak MiB"
  for n in 10 400 1000; do
    f="$work/scale.$n.varnu"
    awk -v n="$n" -v w="$(median "$f" 1)" -v c="$(cpu_median "$f")" \
      -v fw="$(median "$work/scale.$n.floor" 1)" -v k="$(median "$f" 4)" 'BEGIN {
      printf "%8d %9.3f %9.3f %9.3f %9.2fx %9.1f\n", n, w, c, fw, w / fw, k / 1024 }'
  done
  awk -v a="$(median "$work/scale.10.varnu" 1)" -v b="$(median "$work/scale.400.varnu" 1)" \
    -v c="$(median "$work/scale.1000.varnu" 1)" -v l="$(median "$work/launch" 1)" 'BEGIN {
    printf "varnu wall per added entry: %.3f ms from 10 to 400, %.3f ms from 400 to 1000\n",
      (b - a) / 390 * 1000, (c - b) / 600 * 1000
    printf "launching a process through the timing tool alone: %.3f s, in every wall time above\n", l }'
fi
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"

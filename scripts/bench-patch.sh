#!/usr/bin/env bash
# Patches, varnu-pack's against xdelta3's: for each edit, the patch's size, the time to make it
# (`varnu-pack --like ORIGINAL --patch PATCH PICTURES...`, from the pictures, against
# `xdelta3 -e -9 -S none` from the archive varnu-pack --like writes, whose own time is shown
# too) and the time to apply it (`varnu-pack --apply` and `xdelta3 -d`), with hyperfine. Each
# patch is checked: varnu-pack's applied by xdelta3, and xdelta3's by varnu-pack, give the archive.
#
# Two sets: 121 pictures of about 640 x 480 whose streams are all literals, as a packer that does
# not search writes them (`make-corpus --literal`, 42 MB), and 3,600 packed by varnu-pack's own
# packer (`make-corpus`, 414 MB). The edits: a box of 48 x 32 pixels painted in one drawing
# (line art), in one photo-like picture (noise), in each of the first ten pictures, and one
# drawing 40 rows shorter, so that every entry after it moves. varnu-pack packs with --no-limits,
# as some photo-like pictures pack larger than readers with fixed buffers hold. Everything is on /dev/shm when it
# is a tmpfs (scripts/bench-workdir).
#
# RUNS sets the runs per command on the 121 pictures (default 5), LARGE_RUNS on the 3,600
# (default 3; 0 leaves them out: about five minutes on two cores). The load average is printed at
# the start and the end.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."

runs=${RUNS:-5}
large_runs=${LARGE_RUNS:-3}

. scripts/bench-start
bench_start varnu varnu-pack make-corpus

le32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
put_le32() {  # put_le32 FILE OFFSET VALUE
  local v=$3
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((v & 255)) $((v >> 8 & 255)) \
    $((v >> 16 & 255)) $((v >> 24 & 255)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
stride() { echo $((($(le32 "$1" 18) + 3) / 4 * 4)); }
# paint FILE: 32 rows of 48 pixels from (200, 200) become palette index 7, in place.
paint() {
  local rows stride y
  rows=$(le32 "$1" 10)
  stride=$(stride "$1")
  for ((y = 200; y < 232; ++y)); do
    head -c 48 /dev/zero | tr '\0' '\7' |
      dd of="$1" bs=1 seek=$((rows + y * stride + 200)) conv=notrunc status=none
  done
}
# shorten FILE: the bottom 40 rows go, and the headers say so.
shorten() {
  local rows stride cut
  rows=$(le32 "$1" 10)
  stride=$(stride "$1")
  cut=$((40 * stride))
  { head -c "$rows" "$1"; tail -c +$((rows + cut + 1)) "$1"; } >"$1.short"
  mv "$1.short" "$1"
  put_le32 "$1" 2 "$(stat -c %s "$1")"
  put_le32 "$1" 22 $(($(le32 "$1" 22) - 40))
  put_le32 "$1" 34 $(($(le32 "$1" 34) - cut))
}

# median CSV: hyperfine's medians, one a line, in the order of the commands.
medians() { awk -F, 'NR > 1 { printf "%.3f\n", $4 }' "$1"; }

table=$work/table.md
echo "| pictures | edit | varnu-pack's patch | xdelta3's | make: varnu-pack --patch | repack alone | xdelta3 -e -9 -S none | apply: varnu-pack --apply | xdelta3 -d |" >"$table"
echo "|---|---|---|---|---|---|---|---|---|" >>"$table"

# run_set NAME LABEL RUNS MAKE-CORPUS-ARGS...
run_set() {
  local name=$1 label=$2 count=$3
  shift 3
  local set=$work/$name
  mkdir -p "$set/pictures"
  echo
  echo "== $label: making the archive and its pictures"
  "$bin/make-corpus" "$@"
  local arc=$set/pictures/ORIG.ARC
  (cd "$set/pictures" && "$bin/varnu" ORIG.ARC >/dev/null)
  mv "$arc" "$set/ORIG.ARC"
  rm -f "$arc".plain "$arc".half
  mv "$arc".kinds "$set/kinds"
  local drawing photo
  drawing=$(awk '$2 == "line-art" { print $1; exit }' "$set/kinds")
  photo=$(awk '$2 == "noise" { print $1; exit }' "$set/kinds")
  local ten
  ten=$(head -n 10 "$set/kinds" | cut -d' ' -f1 | tr '\n' ' ')
  echo "archive: $(stat -c %s "$set/ORIG.ARC") bytes; drawing $drawing, photo-like $photo"

  local edit
  for edit in drawing photo ten resized; do
    local case=$set/$edit
    rm -rf "$case"
    mkdir -p "$case"
    (cd "$case" && ln -s ../pictures/*.BMP .)
    local edited=()
    case $edit in
      drawing | resized) edited=("$drawing") ;;
      photo) edited=("$photo") ;;
      ten) read -r -a edited <<<"$ten" ;;
    esac
    local picture
    for picture in "${edited[@]}"; do
      rm "$case/$picture"
      cp "$set/pictures/$picture" "$case/$picture"
      if [ "$edit" = resized ]; then shorten "$case/$picture"; else paint "$case/$picture"; fi
    done
    cd "$case"
    local pictures
    pictures=$(ls ./*.BMP | tr '\n' ' ')
    "$bin/varnu-pack" --no-limits --like ../ORIG.ARC NEW.ARC $pictures
    echo
    echo "-- $label, $edit"
    hyperfine --warmup 1 --runs "$count" --export-csv make.csv \
      --command-name "varnu-pack --patch" "$bin/varnu-pack --no-limits --like ../ORIG.ARC --patch v.vcdiff $pictures" \
      --command-name "repack alone" "$bin/varnu-pack --no-limits --like ../ORIG.ARC NEW2.ARC $pictures" \
      --command-name "xdelta3 -e -9 -S none" "xdelta3 -e -9 -S none -f -s ../ORIG.ARC NEW.ARC x.vcdiff" \
      2>/dev/null | grep -E '^(Benchmark|  Time)'
    hyperfine --warmup 1 --runs "$count" --export-csv apply.csv \
      --command-name "varnu-pack --apply" "$bin/varnu-pack --apply v.vcdiff ../ORIG.ARC v.out" \
      --command-name "xdelta3 -d" "xdelta3 -d -f -s ../ORIG.ARC x.vcdiff x.out" \
      2>/dev/null | grep -E '^(Benchmark|  Time)'
    # Each patch applied by the other program gives the archive.
    xdelta3 -d -f -s ../ORIG.ARC v.vcdiff v.by-xdelta3
    "$bin/varnu-pack" --apply x.vcdiff ../ORIG.ARC x.by-varnu-pack
    for out in v.out x.out v.by-xdelta3 x.by-varnu-pack NEW2.ARC; do
      cmp -s "$out" NEW.ARC || { echo "$out differs from the archive" >&2; exit 1; }
    done
    local make apply
    make=($(medians make.csv))
    apply=($(medians apply.csv))
    printf '| %s | %s | %s | %s | %s s | %s s | %s s | %s s | %s s |\n' "$label" "$edit" \
      "$(stat -c %s v.vcdiff)" "$(stat -c %s x.vcdiff)" "${make[0]}" "${make[1]}" "${make[2]}" \
      "${apply[0]}" "${apply[1]}" >>"$table"
    rm -f ./*.ARC ./*.out ./*.by-*
    cd - >/dev/null
  done
  rm -rf "$set"
}

run_set literal-121 "121, all literals" "$runs" --literal "$work/literal-121/pictures/ORIG.ARC" 121
((large_runs > 0)) && run_set packed-3600 "3,600, packed" "$large_runs" \
  "$work/packed-3600/pictures/ORIG.ARC" 3600
echo
cat "$table"
echo
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"

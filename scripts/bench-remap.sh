#!/usr/bin/env bash
# How well and how fast varnu-pack --remap maps edited pictures onto their palettes, against
# ImageMagick given the same palette. The pictures are the project's own (bench/remap_cases.cpp):
# anti-aliased text on a 256-colour picture, a gradient retouched with a soft brush, a
# photograph-like picture with a photograph pasted in, and pixel art with fourteen new flat colours
# for nine free entries. For each, CIEDE2000 against the edited picture, mean over all pixels and
# largest, for `varnu-pack --remap` and `--remap --dither`, and for ImageMagick's
# `convert EDIT +dither -remap PALETTE` and `-dither FloydSteinberg -remap PALETTE`, where PALETTE
# holds the 256 entries varnu-pack wrote (the original's, with the free ones given new colours);
# and how many exact pixels (whose colour the original palette has) each moved.
#
# Then the CPU time of the mapping alone (build/bench/remap-time, medians of 21 runs), and the
# whole program on 400 pictures of the benchmark set (make-corpus) with a title drawn on each:
# anti-aliased with --remap, against the same title aliased in a colour each picture has, which
# needs no mapping (hyperfine, RUNS runs each, default 5; RUNS=0 leaves it out). The load average
# is printed at the start and the end: measure with nothing else running.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."

runs=${RUNS:-5}

scripts/install-deps.sh build bench
echo "== building Release in build/bench"
cmake --preset bench >/dev/null
cmake --build --preset bench --target varnu varnu-pack make-corpus make-remap-cases remap-error \
  remap-time >/dev/null
bin=$(cd build/bench && pwd)

work=$(scripts/bench-workdir)
trap 'rm -rf "$work"' EXIT
cd "$work"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

# mapped NAME OPTIONS...: the edit packed with varnu-pack and converted back, as NAME.out.bmp.
mapped() {
  local name=$1
  shift
  "$bin/varnu-pack" --no-limits "$@" --like "$name.arc" "${name}_out.arc" "$name.bmp" \
    2>"$name.warning"
  "$bin/varnu" "${name}_out.arc" >/dev/null
  mv "${name}_out_000.BMP" "$name.out.bmp"
}

"$bin/make-remap-cases" .
echo
echo "== CIEDE2000 against the edit: mean / largest (exact pixels moved)"
printf '%-10s %-22s %-22s %-22s %-22s\n' picture "varnu-pack --remap" "ImageMagick +dither" \
  "varnu-pack --dither" "ImageMagick -dither FS"
for name in text gradient photo pixel-art; do
  "$bin/varnu" "$name.arc" >/dev/null
  mv "${name}_000.BMP" "$name.orig.bmp"
  row=$(printf '%-10s' "$name")
  for mode in plain dither; do
    option=()
    im_dither=(+dither)
    if [[ $mode == dither ]]; then
      option=(--dither)
      im_dither=(-dither FloydSteinberg)
    fi
    mapped "$name" --remap "${option[@]}"
    "$bin/remap-error" palette "$name.out.bmp" "$name.palette.bmp"
    convert "$name.bmp" "${im_dither[@]}" -remap "$name.palette.bmp" -type TrueColor \
      "BMP3:$name.im.bmp"
    for result in "$name.out.bmp" "$name.im.bmp"; do
      read -r mean largest moved < <("$bin/remap-error" "$name.bmp" "$result" "$name.orig.bmp")
      row+=$(printf ' %-22s' "$mean / $largest ($moved)")
    done
  done
  echo "$row"
done
for name in text gradient photo pixel-art; do
  echo "varnu-pack's warning, $name --dither: $(cut -d: -f3- "$name.warning")"
done

echo
echo "== CPU time of the mapping, from the edit's file to the entry's (medians of 21)"
"$bin/remap-time"

if ((runs > 0)); then
  echo
  echo "== 400 pictures titled: anti-aliased with --remap, against aliased in their own colours"
  "$bin/make-corpus" corpus.arc 400 >/dev/null
  "$bin/varnu" corpus.arc >/dev/null
  "$bin/make-remap-cases" titles . corpus_*.BMP
  names=$(printf 'corpus_%03d.BMP ' $(seq 0 399))
  (cd aa && hyperfine --warmup 1 --runs "$runs" --export-csv ../titled.csv \
    -n "anti-aliased remapped" \
    "$bin/varnu-pack --no-limits --remap --like ../corpus.arc ../out.arc $names" \
    -n "aliased unmapped" \
    "$bin/varnu-pack --no-limits --like ../corpus.arc ../out.arc $(echo "$names" |
      sed 's|corpus_|../plain/corpus_|g')" >/dev/null)
  awk -F, 'NR > 1 { name[NR] = $1; median[NR] = $4; user[NR] = $5; sys[NR] = $6 }
    END { printf "%-24s %9s %9s %9s %8s\n", "command", "median s", "user s", "sys s", "ratio";
      for (k = 2; k <= NR; ++k) printf "%-24s %9.3f %9.3f %9.3f %7.2fx\n", name[k], median[k],
        user[k], sys[k], (user[k] + sys[k]) / (user[3] + sys[3]) }' titled.csv
fi
echo
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"

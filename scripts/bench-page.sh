#!/usr/bin/env bash
# Times the page on the largest archive of pictures there is, 3,600 of 640 x 480, in Debian's
# Chromium and Firefox: from choosing the archive to the first picture shown and to the gallery
# complete, Save all's time and speed in MB of bitmaps a second, and the most memory the
# browser's processes held together (tests/browser/bench-page.mjs). Each saved zip is checked
# against varnu's own files. Prints the machine's load beside every run: measure with nothing
# else running.
#
# RUNS sets the runs per engine (default 1: one run takes a few minutes); VARNU_BROWSERS=firefox
# (or chromium) measures one engine. The archive is made in a temporary folder and removed.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${RUNS:-1}
build=build/bench

scripts/install-deps.sh build bench web browsers
echo "== building the archive maker and varnu in $build, and the page"
cmake --preset bench >/dev/null
cmake --build --preset bench --target varnu make-many-pictures >/dev/null
scripts/build-web.sh >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tools/make-many-pictures" "$work/many.arc" 3600
VARNU_NATIVE_BUILD=$build node tests/browser/bench-page.mjs "$work/many.arc" "$runs"

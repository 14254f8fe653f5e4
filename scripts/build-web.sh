#!/usr/bin/env bash
# Builds the WebAssembly programs with Debian's Emscripten: build/web/varnu.js and
# build/web/varnu-pack.js, the command-line programs for Node.js (`node build/web/varnu.js
# title.arc [x]`), and, once the page's sources are there, build/web/varnu.html. Arguments are
# handed to the CMake configuration (scripts/test.sh adds -DVARNU_WERROR=ON).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

# Emscripten's tools run on Node.js and need the JavaScript parser Debian installs under
# /usr/share/nodejs. Debian's own node looks there; a Node.js from elsewhere does not.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

cmake_dir=build/web-cmake
out_dir=build/web
echo "== $cmake_dir"
emcmake cmake -S . -B "$cmake_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$cmake_dir" -j "$(nproc)"

mkdir -p "$out_dir"
cp "$cmake_dir/varnu.js" "$cmake_dir/varnu-pack.js" "$out_dir/"
if [ -f web/bundle.sh ]; then
  web/bundle.sh "$out_dir" "$cmake_dir"
fi
ls -l "$out_dir"

#!/usr/bin/env bash
# web/bundle.sh OUT_DIR CMAKE_BUILD_DIR: writes OUT_DIR/varnu.html, the whole page in one file,
# from the module built in CMAKE_BUILD_DIR (target varnu-module) and the zip library that
# `npm ci` installed from the lock file.
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: web/bundle.sh OUT_DIR CMAKE_BUILD_DIR" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out_dir=$1
build_dir=$2
module=$build_dir/web/varnu-module.js
fflate=$root/node_modules/fflate/umd/index.js
[ -f "$fflate" ] || (cd "$root" && npm ci --no-audit --no-fund)
# Emscripten under a Node.js that does not search Debian's own modules needs them named.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
cmake --build "$build_dir" --target varnu-module
mkdir -p "$out_dir"
node "$here/bundle.mjs" "$out_dir/varnu.html" "$module" "$fflate"

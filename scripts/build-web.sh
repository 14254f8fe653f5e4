#!/usr/bin/env bash
# Builds the WebAssembly programs with Debian's Emscripten (CMake preset `web`): build/web/varnu.js
# and build/web/varnu-pack.js, the command-line programs for Node.js (`node build/web/varnu.js
# title.arc [x]`), and the page, build/web/varnu.html. Arguments are handed to the CMake
# configuration (scripts/test.sh adds -DVARNU_WERROR=ON).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build web
cmake --preset web "$@" >/dev/null
cmake --build --preset web
ls -l build/web/varnu.js build/web/varnu-pack.js build/web/varnu.html

#!/usr/bin/env bash
# Builds varnu (CMake preset `release`) and converts the sample archive into sample-out/. Installs
# only what that needs: CMake, Ninja and a C++ compiler.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake --preset release >/dev/null
cmake --build --preset release --target varnu
rm -rf sample-out
mkdir sample-out
cp examples/sample.arc sample-out/
# The outputs are named after the archive path as given, so convert from inside the folder.
(cd sample-out && ../build/release/varnu sample.arc)
ls -l sample-out

#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and this machine
# lacks. Does nothing (and needs no network) when everything is already there.
set -euo pipefail

packages=(cmake ninja-build g++ libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
  # The Windows programs: the cross compiler, and Wine to test them.
  g++-mingw-w64-x86-64-posix wine64
  # The manual pages' check and the packer's tests.
  mandoc imagemagick
  # The release files (scripts/release.sh): the zip, the Debian package (CPack finds the programs'
  # library dependencies with dpkg-dev's dpkg-shlibdeps, which needs `file`), and their checks.
  zip unzip dpkg-dev file lintian
  # The WebAssembly build for Node.js and the browser (scripts/build-web.sh).
  emscripten
  # The page's browser tests.
  chromium)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
# Node.js and npm from Debian unless some Node.js is already there (one that bundles npm would
# conflict with Debian's npm).
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)
if ((${#missing[@]} > 0)); then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
fi

#!/usr/bin/env bash
# scripts/install-deps.sh GROUP...: installs, from Debian's packages (and npm's packages from the
# lock file), what the named groups need and this machine lacks. Does nothing, quickly and without
# the network, when everything is already there.
#
#   build     building and running the converter (scripts/demo.sh); the packer needs any other
#             group too, for its PNG library
#   test      the native test suite: GoogleTest, the manual pages' check, the packer's tests
#   windows   the Windows programs and their tests: MinGW-w64, Wine, GoogleTest's sources
#   web       the Node.js programs and the page: Emscripten, Node.js, the zip library
#   browsers  the page's browser tests and benchmark: Chromium, Firefox and their driver
#   release   making and checking the release files (scripts/release.sh)
#   fuzz      the libFuzzer targets and their coverage (scripts/fuzz.sh, scripts/fuzz-coverage.sh)
#   bench     the benchmarks (scripts/bench-e2e.sh, scripts/bench-pack.sh)
#   all       every group above (scripts/test.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

group_packages() {  # group_packages GROUP: the group's Debian packages, one a line
  case $1 in
    build) echo cmake ninja-build g++ ;;
    # ImageMagick saves pictures as editors do; xdelta3 applies varnu-pack's patches and makes
    # the ones it applies.
    test) echo libgtest-dev mandoc imagemagick xdelta3 ;;
    # A cross build has no GoogleTest of its own; it builds one from Debian's sources.
    windows) echo g++-mingw-w64-x86-64-posix wine64 googletest ;;
    web) echo emscripten ;;
    browsers) echo chromium firefox-esr ;;
    # The zip, the Debian package (CPack finds the programs' library dependencies with dpkg-dev's
    # dpkg-shlibdeps, which needs `file`), and their checks; the zip's programs run under Wine.
    release) echo zip unzip dpkg-dev file lintian mandoc wine64 ;;
    fuzz) echo clang libclang-rt-14-dev llvm-14 ;;
    # The end-to-end timing reads GNU time's figures; the packer's is timed by hyperfine, its
    # patches against xdelta3's; the remap benchmark compares with ImageMagick.
    bench) echo libbenchmark-dev time hyperfine imagemagick xdelta3 ;;
    *) return 1 ;;
  esac | tr ' ' '\n'
}
all_groups=(build test windows web browsers release fuzz bench)

if [ $# -eq 0 ]; then
  echo "usage: scripts/install-deps.sh GROUP... (${all_groups[*]}, or all)" >&2
  exit 2
fi
groups=()
for group in "$@"; do
  if [ "$group" = all ]; then groups+=("${all_groups[@]}"); else groups+=("$group"); fi
done
packages=()
uses_node=no
for group in "${groups[@]}"; do
  list=$(group_packages "$group") || {
    echo "install-deps.sh: no group \"$group\" (${all_groups[*]}, or all)" >&2
    exit 2
  }
  mapfile -t -O "${#packages[@]}" packages <<<"$list"
  # Everything but varnu alone builds varnu-pack, which compiles lodepng's source from npm.
  case $group in build) ;; *) uses_node=yes ;; esac
done

# One question to dpkg for every package: those it does not report as installed are missing.
mapfile -t missing < <(
  dpkg-query -W -f='${db:Status-Status} ${Package}\n' "${packages[@]}" 2>/dev/null |
    awk '$1 == "installed" { print $2 }' | sort -u | comm -13 - <(printf '%s\n' "${packages[@]}" | sort -u))
# Node.js and npm from Debian unless some Node.js is already there (one that bundles npm would
# conflict with Debian's npm).
if [ "$uses_node" = yes ]; then
  command -v node >/dev/null || missing+=(nodejs)
  command -v npm >/dev/null || missing+=(npm)
fi
if ((${#missing[@]} > 0)); then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
fi

# The page's zip library, the browsers' driver and lodepng's C source for the packer, exactly as
# the lock file has them, with no package's install scripts run (.npmrc); again only when the
# lock file changed since the last install.
if [ "$uses_node" = yes ] &&
  ! [ node_modules/.package-lock.json -nt package-lock.json ]; then
  npm ci --ignore-scripts --no-audit --no-fund
fi

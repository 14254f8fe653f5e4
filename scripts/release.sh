#!/usr/bin/env bash
# Makes the release files and checks them.
#
#   scripts/release.sh
#     builds the programs for Linux and Windows and the page (CMake presets `release`, `windows`
#     and `web`, in build/release, build/windows and build/web) and puts the release files in
#     dist/;
#   scripts/release.sh LINUX_BUILD WINDOWS_BUILD OUT
#     makes and checks them from Release build folders already made, into OUT (the test command
#     does this with its own builds, so that the release path cannot rot unnoticed).
#
# The release files:
#   varnu-VERSION-windows-x86_64.zip  varnu.exe, varnu-pack.exe, varnu.html, README.txt,
#                                     LICENSE.txt in one folder (text files with CR LF line ends);
#   varnu_VERSION_amd64.deb           the Linux programs, as a Debian package;
#   varnu.html                        the web page (scripts/build-web.sh makes it in build/web/;
#                                     a full release builds it, the test command already has);
#   SHA256SUMS                        the SHA-256 of each of the others, as `sha256sum -c` reads it.
# VERSION is project()'s in CMakeLists.txt, the one place it is set.
#
# The check: SHA256SUMS lists exactly the other files and matches them; lintian has nothing to
# say about the package; the package, its changelog, its manual pages and varnu-pack --version
# (Linux and Windows) all carry VERSION; the package's varnu (installed with dpkg -i when a full
# release runs as root, else unpacked into a scratch folder) and the zip's varnu.exe under Wine
# convert the sample archive exactly as the Linux build does.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
version=$(sed -n 's/^project(varnu VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

if [ $# -eq 0 ]; then
  full_release=yes
  linux=build/release
  windows=build/windows
  out=dist
  scripts/install-deps.sh build windows web release
  # The release date on the manual pages and in the changelog is the last commit's, not the day
  # the script happens to run.
  SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
  export SOURCE_DATE_EPOCH
  for preset in release windows; do
    echo "== $preset build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
  done
  echo "== web page"
  scripts/build-web.sh
elif [ $# -eq 3 ]; then
  full_release=no
  scripts/install-deps.sh release
  linux=$1
  windows=$2
  out=$3
else
  echo "usage: scripts/release.sh [LINUX_BUILD WINDOWS_BUILD OUT]" >&2
  exit 2
fi
page=build/web/varnu.html
[ -f "$page" ] || { echo "release.sh: no $page; scripts/build-web.sh makes it" >&2; exit 1; }
# Absolute, as the steps below change folders.
page=$(realpath "$page")
linux=$(realpath "$linux")
windows=$(realpath "$windows")
out=$(realpath -m "$out")
# Only what users run is released: optimised and without the sanitizers' runtime.
for build in "$linux" "$windows"; do
  if ! grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$build/CMakeCache.txt" ||
    grep -qx 'VARNU_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
    echo "release.sh: $build is not a plain Release build" >&2
    exit 1
  fi
done

zip_name=varnu-${version}-windows-x86_64
deb_name=varnu_${version}_amd64.deb
# Every release file but SHA256SUMS, which lists them; each is made below.
release_files=("$zip_name.zip" "$deb_name" varnu.html)
# What the zip holds: files copied as they are, and text files given CR LF line ends (SOURCE:NAME).
zip_as_is=("$windows/varnu.exe" "$windows/varnu-pack.exe" "$page")
zip_texts=(README.md:README.txt LICENSE:LICENSE.txt)

mkdir -p "$out"
rm -f "$out/SHA256SUMS" "${release_files[@]/#/$out/}"
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT

echo "== Debian package"
(cd "$linux" && cpack -G DEB -B "$staging/cpack" >/dev/null)
mv "$staging/cpack/$deb_name" "$out/"

cp "$page" "$out/varnu.html"

echo "== Windows zip"
mkdir "$staging/$zip_name"
cp "${zip_as_is[@]}" "$staging/$zip_name/"
for text in "${zip_texts[@]}"; do
  sed 's/$/\r/' "${text%%:*}" >"$staging/$zip_name/${text#*:}"
done
(cd "$staging" && zip -qrX "$out/$zip_name.zip" "$zip_name")

(cd "$out" && sha256sum "${release_files[@]}" >SHA256SUMS)

echo "== check"
fail() {
  echo "release.sh: $*" >&2
  exit 1
}
# SHA256SUMS names every file in the folder but itself, and each one's sum is right.
names_in() {  # names_in FOLDER: the names of the files in FOLDER, sorted, one a line
  find "$1" -mindepth 1 -maxdepth 1 -printf '%f\n' | sort
}
listed=$(sed 's/^[0-9a-f]*  //' "$out/SHA256SUMS" | sort)
present=$(names_in "$out" | grep -vx SHA256SUMS)
[ "$listed" = "$present" ] ||
  fail "SHA256SUMS lists" "${listed//$'\n'/ }" "but $out holds" "${present//$'\n'/ }"
(cd "$out" && sha256sum --quiet --strict -c SHA256SUMS) || fail "SHA256SUMS does not match"

# Debian's own checks: no errors, no warnings, nothing at all (lintian's remark about running as
# root is about lintian, not the package).
lintian_says=$(lintian "$out/$deb_name" 2>&1 |
  grep -vx "running with root privileges is not recommended!" || true)
[ -z "$lintian_says" ] || fail "lintian on $deb_name:"$'\n'"$lintian_says"

# The version reaches every place that shows it.
deb_root=$staging/deb-root
dpkg-deb -x "$out/$deb_name" "$deb_root"
expect_version() {  # expect_version WHAT ACTUAL EXPECTED
  [ "$2" = "$3" ] || fail "$1 is \"$2\", not \"$3\""
}
expect_version "the package's version" "$(dpkg-deb -f "$out/$deb_name" Version)" "$version"
zcat "$deb_root/usr/share/doc/varnu/changelog.gz" >"$staging/changelog"
expect_version "the changelog's version" "$(dpkg-parsechangelog -l "$staging/changelog" -S Version)" \
  "$version"
for page in varnu varnu-pack; do
  footer=$(mandoc -T ascii "$deb_root/usr/share/man/man1/$page.1.gz" | tail -n 1)
  [[ "$footer" == "varnu $version "* ]] || fail "$page(1)'s footer \"$footer\" lacks varnu $version"
done
expect_version "varnu-pack --version" "$("$deb_root/usr/bin/varnu-pack" --version)" \
  "varnu-pack $version"

convert_sample() {  # convert_sample FOLDER COMMAND...: converts the sample archive in FOLDER
  local folder=$1
  shift
  mkdir -p "$folder"
  cp examples/sample.arc "$folder/"
  (cd "$folder" && "$@" sample.arc)
}
convert_sample "$staging/expected" "$linux/varnu"

installed=$deb_root/usr/bin/varnu
if [ "$full_release" = yes ] && [ "$(id -u)" -eq 0 ]; then
  was_installed=$(dpkg-query -W -f='${Status}' varnu 2>/dev/null || true)
  dpkg -i "$out/$deb_name" >/dev/null
  installed=/usr/bin/varnu
  test -f /usr/share/man/man1/varnu.1.gz
fi
convert_sample "$staging/deb" "$installed"
diff -r -x sample.arc "$staging/expected" "$staging/deb"
if [ "$installed" = /usr/bin/varnu ] && [[ "$was_installed" != *"install ok installed"* ]]; then
  dpkg -r varnu >/dev/null
fi

unzip -q "$out/$zip_name.zip" -d "$staging/unzipped"
expected_names=$(for file in "${zip_as_is[@]}"; do basename "$file"; done
  for text in "${zip_texts[@]}"; do echo "${text#*:}"; done)
[ "$(names_in "$staging/unzipped/$zip_name")" = "$(sort <<<"$expected_names")" ] ||
  fail "the zip holds" "$(names_in "$staging/unzipped/$zip_name")"
for text in "${zip_texts[@]}"; do
  [ "$(grep -vc $'\r$' "$staging/unzipped/$zip_name/${text#*:}")" = 0 ] ||
    fail "${text#*:} has lines without CR LF"
done
scripts/wine-run --start
trap 'scripts/wine-run --stop; rm -rf "$staging"' EXIT
unzipped=$staging/unzipped/$zip_name
convert_sample "$staging/zip" "$root/scripts/wine-run" "$unzipped/varnu.exe"
expect_version "varnu-pack.exe --version" \
  "$(scripts/wine-run "$unzipped/varnu-pack.exe" --version | tr -d '\r')" "varnu-pack $version"
diff -r -x sample.arc "$staging/expected" "$staging/zip"

echo "checked: $out/SHA256SUMS, lintian, the version everywhere; the package and the zip convert"
echo "the sample archive exactly as the build does"
ls -l "$out"

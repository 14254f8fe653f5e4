#!/usr/bin/env bash
# Makes the release files under dist/ and checks them:
#   dist/varnu-VERSION-windows-x86_64.zip  varnu.exe, varnu-pack.exe, varnu.html, README.txt,
#                                          LICENSE.txt (text files with CR LF line ends);
#   dist/varnu_VERSION_amd64.deb           the Linux build, as a Debian package;
#   dist/varnu.html                        the web page, one file that runs in any browser.
# The check converts the sample archive with the installed Debian package (dpkg -i when run as
# root, else unpacked into a scratch root) and with varnu.exe from the zip under Wine, and
# compares both with the freshly built program's output.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
root=$PWD
version=$(sed -n 's/^project(varnu VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
mkdir -p dist

echo "== Linux build and Debian package"
cmake -S . -B build/dist-linux -DCMAKE_BUILD_TYPE=Release -DVARNU_TESTS=OFF >/dev/null
cmake --build build/dist-linux -j "$(nproc)"
(cd build/dist-linux && cpack >/dev/null)
deb=dist/varnu_${version}_amd64.deb
mv "build/dist-linux/varnu_${version}_amd64.deb" "$deb"

echo "== web page"
scripts/build-web.sh
cp build/web/varnu.html dist/varnu.html

echo "== Windows build and zip"
cmake -S . -B build/dist-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build build/dist-windows -j "$(nproc)"
zip_name=varnu-${version}-windows-x86_64
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
mkdir "$staging/$zip_name"
cp build/dist-windows/varnu.exe build/dist-windows/varnu-pack.exe dist/varnu.html \
  "$staging/$zip_name/"
sed 's/$/\r/' README.md >"$staging/$zip_name/README.txt"
sed 's/$/\r/' LICENSE >"$staging/$zip_name/LICENSE.txt"
rm -f "dist/$zip_name.zip"
(cd "$staging" && zip -qr "$root/dist/$zip_name.zip" "$zip_name")

echo "== check"
convert_sample() {  # convert_sample FOLDER COMMAND...: converts the sample archive in FOLDER
  local folder=$1
  shift
  mkdir -p "$folder"
  cp examples/sample.arc "$folder/"
  (cd "$folder" && "$@" sample.arc)
}
convert_sample "$staging/expected" "$root/build/dist-linux/varnu"

if [ "$(id -u)" -eq 0 ]; then
  was_installed=$(dpkg-query -W -f='${Status}' varnu 2>/dev/null || true)
  dpkg -i "$deb" >/dev/null
  installed=/usr/bin/varnu
  test -f /usr/share/man/man1/varnu.1
else
  dpkg-deb -x "$deb" "$staging/root"
  installed=$staging/root/usr/bin/varnu
  test -f "$staging/root/usr/share/man/man1/varnu.1"
fi
convert_sample "$staging/deb" "$installed"
diff -r -x sample.arc "$staging/expected" "$staging/deb"
if [ "$(id -u)" -eq 0 ] && [[ "$was_installed" != *"install ok installed"* ]]; then
  dpkg -r varnu >/dev/null
fi

unzip -q "dist/$zip_name.zip" -d "$staging/unzipped"
scripts/wine-run --start
convert_sample "$staging/zip" "$root/scripts/wine-run" "$staging/unzipped/$zip_name/varnu.exe"
scripts/wine-run --stop
diff -r -x sample.arc "$staging/expected" "$staging/zip"
grep -q $'\r$' "$staging/unzipped/$zip_name/LICENSE.txt"
cmp dist/varnu.html "$staging/unzipped/$zip_name/varnu.html"

echo "checked: the package and the zip convert the sample archive exactly as the build does"
ls -l dist/

#!/usr/bin/env bash
# Makes the Debian package from the tree ./test.sh built (build/, no rebuild), unpacks it into a
# temporary root and checks it there: the dependencies dpkg-shlibdeps found and the CJK font,
# both programs' --version, a field book generated from the unpacked sample by the unpacked
# levelbook-cli and read back through the unpacked reader program, the
# desktop entry, the AppStream metadata, the icons and the manual pages. The .deb is left in
# build/package/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
version=$(sed -n 's/^project(levelbook VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

fail() {
  echo "package check failed: $*" >&2
  exit 1
}

rm -rf "$build/package"
(cd "$build" && cpack -G DEB -B "$PWD/package" >/dev/null)
deb=$(realpath "$(ls "$build"/package/levelbook_"$version"_*.deb)")
echo "built $deb"

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt6widgets6 libstdc++6 libminizip1 libdeflate0; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
# Chinese texts need a CJK font; any of the three will do.
[[ $depends == *"fonts-noto-cjk | fonts-wqy-zenhei | fonts-arphic-uming"* ]] || fail "Depends lacks a CJK font: $depends"

root=$tmp/root
dpkg-deb -x "$deb" "$root"
bin=$root/usr/bin
share=$root/usr/share
# The unpacked programs must not lean on the build tree: run them from elsewhere, without a display.
cd "$tmp"
[ "$("$bin/levelbook-cli" --version)" = "levelbook-cli $version" ] || fail "levelbook-cli --version"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/levelbook" --version)" = "levelbook $version" ] ||
  fail "levelbook --version"
"$bin/levelbook-cli" --sample -o "$tmp/book.xlsx" --seed 1 >"$tmp/summary" || fail "levelbook-cli --sample"
grep -q "测站" "$tmp/summary" || fail "no summary: $(cat "$tmp/summary")"
[ -s "$tmp/book.xlsx" ] || fail "no field book written"
# A file the user names is read by the reader program in libexec/levelbook.
[ -x "$root/usr/libexec/levelbook/levelbook-read" ] || fail "no reader program in libexec/levelbook"
# --pdf prints through levelbook-pdf in libexec/levelbook, offscreen, with no display.
[ -x "$root/usr/libexec/levelbook/levelbook-pdf" ] || fail "no PDF program in libexec/levelbook"
env -u DISPLAY -u WAYLAND_DISPLAY "$bin/levelbook-cli" --sample -o "$tmp/paged.xlsx" --pdf "$tmp/book.pdf" --seed 1 \
  >"$tmp/summary" 2>&1 || fail "levelbook-cli --pdf: $(cat "$tmp/summary")"
[ "$(head -c 5 "$tmp/book.pdf")" = "%PDF-" ] || fail "levelbook-cli --pdf wrote no PDF"
status=0
"$bin/levelbook-cli" "$tmp/book.xlsx" -o "$tmp/again.xlsx" --seed 2 >"$tmp/summary" 2>&1 || status=$?
[ $status -eq 0 ] || [ $status -eq 3 ] || fail "levelbook-cli on a file: $(cat "$tmp/summary")"
[ -f "$share/levelbook/work.xlsx" ] || fail "no template in share/levelbook"

desktop=$share/applications/com.example.levelbook.desktop
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
grep -qx 'Exec=levelbook %f' "$desktop" || fail "desktop entry: Exec"
grep -qx 'Icon=levelbook' "$desktop" || fail "desktop entry: Icon"
appstreamcli validate --no-net "$share/metainfo/com.example.levelbook.metainfo.xml" >"$tmp/appstream" 2>&1 ||
  fail "appstreamcli validate: $(cat "$tmp/appstream")"
grep -q "version=\"$version\"" "$share/metainfo/com.example.levelbook.metainfo.xml" || fail "metainfo: release $version"

for size in 48 64 128 256; do
  [ "$(identify -format '%wx%h' "$share/icons/hicolor/${size}x${size}/apps/levelbook.png")" = "${size}x${size}" ] ||
    fail "icon ${size}x${size}"
done
python3 -c 'import sys, xml.etree.ElementTree as E; r = E.parse(sys.argv[1]).getroot(); sys.exit(r.get("viewBox") != "0 0 64 64")' \
  "$share/icons/hicolor/scalable/apps/levelbook.svg" || fail "scalable icon"

for page in levelbook levelbook-cli; do
  MANWIDTH=80 man -l "$share/man/man1/$page.1.gz" 2>/dev/null | grep -q "levelbook $version" || fail "man page $page"
done
# No run path in an installed program: the loader's own search finds every library.
for program in "$bin/levelbook-cli" "$bin/levelbook" "$root/usr/libexec/levelbook/levelbook-read" \
  "$root/usr/libexec/levelbook/levelbook-pdf"; do
  paths=$(readelf -d "$program" | grep -E '\((RPATH|RUNPATH)\)' || true)
  [ -z "$paths" ] || fail "$(basename "$program") carries a run path: $paths"
done
# Nor in the build tree, where CMake would pad it with empty entries (the current folder).
for program in "$build"/bin/levelbook*; do
  [ -x "$program" ] || continue
  paths=$(readelf -d "$program" 2>/dev/null | grep -E '\((RPATH|RUNPATH)\)' || true)
  [ -z "$paths" ] || fail "build tree's $(basename "$program") carries a run path: $paths"
done
# Debian's own checks of a package: no error and no warning.
if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" >"$tmp/lintian" 2>&1 ||
    fail "lintian: $(cat "$tmp/lintian")"
else
  fail "lintian is not installed (tools/bootstrap.sh installs it)"
fi
echo "package $(basename "$deb") checked in a temporary root"

#!/bin/sh
# Installs a build into a fresh folder and checks that the programs, the desktop entry and the
# icons land where desktops look for them. Run by CTest as install-check.sh BUILD_DIR WORKDIR.
set -u
build=$1
prefix=$2/prefix
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >"$2.log" 2>&1 || { cat "$2.log"; echo "FAIL: install"; exit 1; }
missing=0
for f in bin/vellumkite bin/vellumkite-cli bin/vellumkite-statusline \
    share/applications/vellumkite.desktop share/icons/hicolor/scalable/apps/vellumkite.svg; do
    [ -s "$prefix/$f" ] || { echo "FAIL: $f not installed"; missing=1; }
done
for n in 16 22 24 32 48 64 128 256 512; do
    png="$prefix/share/icons/hicolor/${n}x${n}/apps/vellumkite.png"
    [ -s "$png" ] || { echo "FAIL: no ${n}x${n} icon"; missing=1; continue; }
    # PNG width and height are the big-endian words at bytes 16 and 20.
    size=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3 * 256 + $4 "x" $7 * 256 + $8}')
    [ "$size" = "${n}x${n}" ] || { echo "FAIL: ${n}x${n} icon is $size"; missing=1; }
done
[ -x "$prefix/bin/vellumkite" ] || { echo "FAIL: vellumkite is not executable"; missing=1; }
if command -v desktop-file-validate >/dev/null 2>&1; then
    desktop-file-validate "$prefix/share/applications/vellumkite.desktop" || missing=1
fi
[ "$missing" -eq 0 ] && echo "ok: installed into $prefix"
exit "$missing"

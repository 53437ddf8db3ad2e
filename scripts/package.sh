#!/usr/bin/env bash
# Builds the Debian package from a configured and built build folder, checks it with lintian (no
# errors), compares its file list with packaging/deb-files.txt, and runs the programs as unpacked
# from it on a home of their own. Usage: scripts/package.sh [build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

rm -f "$build"/vellumkite_*.deb
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$build"/vellumkite_*_*.deb)
echo "== $(basename "$deb"): $(stat -c %s "$deb") bytes"

# lintian says this as root; the package is only read.
lintian --fail-on error --display-info "$deb" 2>&1 | grep -v 'running with root privileges' |
    tee "$work/lintian.txt" || true
if grep -q '^E:' "$work/lintian.txt"; then
    echo "FAIL: lintian reports errors"
    exit 1
fi
echo "lintian: $(grep -c '^E:' "$work/lintian.txt") errors, $(grep -c '^W:' "$work/lintian.txt") warnings, $(grep -c '^I:' "$work/lintian.txt") notes"

dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort >"$work/files.txt"
if ! diff -u packaging/deb-files.txt "$work/files.txt"; then
    echo "FAIL: the package's files differ from packaging/deb-files.txt (above: - expected, + found)"
    exit 1
fi
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6core6 libsimdjson14 libuuid1 libdbus-1-3 libc6; do
    case "$depends" in
        *"$lib "* | *"$lib,"* | *"$lib") ;;
        *) echo "FAIL: Depends lacks $lib: $depends"; exit 1 ;;
    esac
done

# The programs as installed, from the package's own files.
dpkg-deb -x "$deb" "$work/root"
bin=$work/root/usr/bin
home=$work/home
mkdir -p "$home"
run() { env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }
version=$(dpkg-deb -f "$deb" Version)
[ "$(run "$bin/vellumkite-cli" --version)" = "vellumkite-cli $version" ] ||
    { echo "FAIL: vellumkite-cli --version"; exit 1; }
run "$bin/vellumkite-cli" setup --yes >/dev/null
grep -q "\"command\": \"$bin/vellumkite-statusline\"" "$home/.claude/settings.json" ||
    { echo "FAIL: setup did not name the packaged status line"; cat "$home/.claude/settings.json"; exit 1; }
echo '{"rate_limits":{"five_hour":{"used_percentage":34,"resets_at":'"$(($(date +%s) + 3600))"'}}}' |
    run sh -c "$(sed -n 's/.*"command": "\(.*\)".*/\1/p' "$home/.claude/settings.json")" |
    grep -qx '5h 34%' || { echo "FAIL: the packaged status line"; exit 1; }
# No chat logs here, so the doctor exits 1; it must still see the rest.
doctor=$(run "$bin/vellumkite-cli" doctor || true)
grep -q '^✓ Status line' <<<"$doctor" && grep -q '^✓ Limit readings' <<<"$doctor" ||
    { echo "FAIL: the doctor does not see the status line and the readings:"; echo "$doctor"; exit 1; }
for page in "$work"/root/usr/share/man/man1/*.1.gz; do
    man --warnings -l "$page" 2>&1 >/dev/null | grep . && { echo "FAIL: $page"; exit 1; }
done
echo "ok: the package installs the whole program"

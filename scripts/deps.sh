#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when any is missing.
# Where there is no dpkg (another distribution, or packages that come another way) it does
# nothing, and the build says what it misses.
# Usage: scripts/deps.sh [build|test|ci]
set -euo pipefail
command -v dpkg-query >/dev/null 2>&1 || exit 0
need=(cmake ninja-build g++ pkg-config libsimdjson-dev uuid-dev libsqlite3-dev libdbus-1-dev
      googletest libgtest-dev qt6-base-dev qt6-svg-dev libqt6svg6 scdoc)
case "${1:-build}" in
    test | ci)
        need+=(xvfb xauth x11-utils xdotool openbox trayer dbus-daemon dbus-bin dunst
               desktop-file-utils strace imagemagick icnsutils tzdata bash-completion zsh fish
               man-db jq)
        ;;
esac
# The distribution's clang and the runtime of its sanitizers and libFuzzer, whatever version;
# for the Debian package, dpkg-shlibdeps, file and lintian; libc++ for the build a Mac relies on.
[ "${1:-build}" = ci ] && need+=(clang libclang-rt-dev dpkg-dev file lintian libc++-dev libc++abi-dev)
missing=()
for p in "${need[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when any is missing.
# Usage: scripts/deps.sh [build|test|ci]
set -euo pipefail
need=(cmake ninja-build g++ pkg-config libsimdjson-dev uuid-dev libsqlite3-dev libdbus-1-dev
      googletest libgtest-dev libbenchmark-dev qt6-base-dev qt6-svg-dev libqt6svg6 scdoc)
case "${1:-build}" in
    test | ci)
        need+=(xvfb xauth x11-utils xdotool openbox trayer dbus-daemon dbus-bin dunst
               desktop-file-utils strace imagemagick tzdata bash-completion zsh fish man-db jq)
        ;;
esac
# The Debian package: cpack's dependency list needs dpkg-shlibdeps and file.
[ "${1:-build}" = ci ] && need+=(clang libclang-rt-14-dev dpkg-dev file lintian)
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

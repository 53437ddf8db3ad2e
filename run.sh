#!/usr/bin/env bash
# Installs missing Debian packages, builds, and starts the tray app. Without a display (neither
# DISPLAY nor WAYLAND_DISPLAY) it says so and shows the terminal report instead.
# Arguments go to vellumkite-cli, e.g. ./run.sh watch
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh build
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} >/dev/null
if [ $# -eq 0 ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
    cmake --build "$build" --target vellumkite vellumkite-cli vellumkite-statusline
    exec "$build/src/app/vellumkite"
fi
cmake --build "$build" --target vellumkite-cli vellumkite-statusline
[ $# -eq 0 ] && echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): showing the terminal report." >&2
exec "$build/src/cli/vellumkite-cli" "${@:-status}"

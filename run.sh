#!/usr/bin/env bash
# Installs missing Debian packages, builds, and shows the current picture in the terminal.
# Arguments go to vellumkite-cli instead of "status", e.g. ./run.sh watch
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh build
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} >/dev/null
cmake --build "$build" --target vellumkite-cli vellumkite-statusline
exec "$build/src/cli/vellumkite-cli" "${@:-status}"

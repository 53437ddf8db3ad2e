#!/usr/bin/env bash
# Builds everything and runs every test. Installs missing Debian packages first.
# Extra arguments go to cmake's configure step, e.g. ./test.sh -DVELLUMKITE_SANITIZE=address,undefined
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh test
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@"
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"

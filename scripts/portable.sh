#!/usr/bin/env bash
# What a Mac build relies on, checked from Linux: the core and terminal-tool tests built with
# clang against libc++ (the standard library macOS has) and without inotify, so that the logs are
# found by walking them as on a Mac. The inotify path is tested by the other builds. The app is
# not built here: it needs Qt Widgets, which Debian builds against libstdc++ only.
# Usage: scripts/portable.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh ci
common=(-G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g0 -DCMAKE_CXX_COMPILER=clang++
        -DCMAKE_CXX_FLAGS=-stdlib=libc++ -DVELLUMKITE_GTEST_SOURCE=/usr/src/googletest
        -DVELLUMKITE_BENCH=OFF -DVELLUMKITE_PCH=OFF -DVELLUMKITE_INOTIFY=OFF)

cmake -S . -B build-libcxx "${common[@]}" >/dev/null
cmake --build build-libcxx --target core_tests cli_tests doctor_desktop_tests vellumkite-cli \
    vellumkite-statusline
# Nothing of ours may link libstdc++'s own strings: only Qt and simdjson bring libstdc++ in.
if nm -C --undefined-only build-libcxx/src/cli/vellumkite-cli | grep -q 'std::__cxx11'; then
    echo "vellumkite-cli uses libstdc++'s std::string" >&2
    exit 1
fi
ctest --test-dir build-libcxx -L 'core|cli' --output-on-failure -j "$(nproc)"

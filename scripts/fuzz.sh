#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while from its seed corpus.
# Usage: scripts/fuzz.sh [seconds per target, default 15] [target ...]
# Crashes are written to build-fuzz/crashes/; the corpus grows in build-fuzz/corpus/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
shift || true
scripts/deps.sh ci
build=${FUZZ_BUILD_DIR:-build-fuzz}
CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELLUMKITE_FUZZ=ON -DVELLUMKITE_GUI=OFF -DVELLUMKITE_TESTS=OFF -DVELLUMKITE_BENCH=OFF \
    -DVELLUMKITE_SANITIZE=fuzzer-no-link,address,undefined >/dev/null
cmake --build "$build"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=()
    for f in "$build"/fuzz/fuzz_*; do targets+=("$(basename "$f" | sed 's/^fuzz_//')"); done
fi
# Files the targets write go to memory when it is there.
[ -d /dev/shm ] && export TMPDIR=/dev/shm
mkdir -p "$build/crashes"
status=0
for t in "${targets[@]}"; do
    corpus="$build/corpus/$t"
    mkdir -p "$corpus"
    cp -n fuzz/corpus/"$t"/* "$corpus"/ 2>/dev/null || true
    echo "== fuzz_$t for ${seconds}s"
    if ! "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
        -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$build/crashes/$t-" \
        "$corpus" 2>"$build/fuzz-$t.log"; then
        echo "fuzz_$t FAILED; see $build/fuzz-$t.log and $build/crashes/" >&2
        tail -n 40 "$build/fuzz-$t.log" >&2
        status=1
    fi
    grep -E '^stat::number_of_executed_units|^stat::average_exec_per_sec|^stat::peak_rss_mb' \
        "$build/fuzz-$t.log" | tr '\n' ' '
    echo
done
exit $status

#!/usr/bin/env bash
# The tray app at rest: started (offscreen) over a log tree that nothing writes to, left to read
# it and import its history, then watched for a while. Reports resident memory (and how much of
# it is the heap and how much mapped files: libraries, fonts) and the CPU it used meanwhile.
# Usage: bench/rest.sh [seconds, default 60] [build dir, default build] [tree, default the
# benchmark's 200 MB tree (vellumkite-bench --only first --sizes 200 makes it)]
set -euo pipefail
seconds=${1:-60}
build=$(cd "${2:-build}" && pwd)
tree=${3:-/tmp/vellumkite-bench/tree-streamed-200mb}
app=$build/src/app/vellumkite
[ -d "$tree/projects" ] || { echo "no log tree at $tree (run vellumkite-bench first)"; exit 1; }
work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_STATE_HOME=$work/home/.local/state XDG_CACHE_HOME=$work/home/.cache
export XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen CLAUDE_CONFIG_DIR=$tree
mkdir -p "$XDG_RUNTIME_DIR" "$HOME" && chmod 700 "$XDG_RUNTIME_DIR"

"$app" >"$work/app.log" 2>&1 &
pid=$!
status() { awk -v k="$1:" '$1 == k {print $2}' "/proc/$pid/status"; }
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
ticks=$(getconf CLK_TCK)
# Warm-up: the first pass, the history's import behind it, and the CPU falling quiet.
sleep 5
for _ in $(seq 60); do
    before=$(cpu)
    sleep 2
    [ $(($(cpu) - before)) -le 1 ] && break
done
t0=$(date +%s.%N) c0=$(cpu)
# The kernel's tick counts are 10 ms coarse; perf, where it may attach, counts to the nanosecond.
precise=$(perf stat -x, -e task-clock -p "$pid" -- sleep "$seconds" 2>&1 >/dev/null |
    awk -F, '/task-clock/ {print $1}') || true
[ -n "$precise" ] || sleep "$seconds"
t1=$(date +%s.%N) c1=$(cpu)
python3 - "$t0" "$t1" "$c0" "$c1" "$ticks" "$(status VmRSS)" "$(status RssAnon)" \
    "$(status RssFile)" "$(status VmHWM)" "${precise:-}" <<'PY'
import sys
t0, t1, c0, c1, ticks = map(float, sys.argv[1:6])
rss, anon, files, peak = (float(v) / 1024 for v in sys.argv[6:10])
span = t1 - t0
cpu = 100.0 * (c1 - c0) / ticks / span
precise = f" ({100.0 * float(sys.argv[10]) / 1000 / span:.3f} % counted by perf)" if sys.argv[10] else ""
print(f"app at rest for {span:.0f} s: RSS {rss:.1f} MB (heap and other anonymous {anon:.1f} MB, "
      f"mapped files {files:.1f} MB; peak {peak:.1f} MB) (target < 64); CPU {cpu:.3f} % of one "
      f"core{precise} (target < 0.1)")
PY

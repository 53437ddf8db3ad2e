#!/usr/bin/env bash
# Soak: the tray app (offscreen) and `vellumkite-cli watch` run side by side against a log tree
# that grows at a realistic rate (a reply a second across five chats, with tool results).
# Reports resident memory after warm-up and at the end, average CPU over the run, and whether
# both programs' final figures equal a fresh `vellumkite-cli json` over the same tree.
# Usage: bench/soak.sh [minutes, default 10] [build dir, default build]
set -euo pipefail
minutes=${1:-10}
build=$(cd "${2:-build}" && pwd)
app=$build/src/app/vellumkite
cli=$build/src/cli/vellumkite-cli
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_RUNTIME_DIR" "$HOME/.claude/projects" && chmod 700 "$XDG_RUNTIME_DIR"

# A week of history to start from, then the live writer.
python3 - "$HOME/.claude/projects" "$minutes" "$work/writer.done" <<'PY' &
import json, os, random, sys, time, datetime
root, minutes, done = sys.argv[1], float(sys.argv[2]), sys.argv[3]
rng = random.Random(4)
tools = ["Read", "Bash", "Grep", "Edit", "WebFetch", "mcp__claude-in-chrome__get_page_text"]
chats = []
for i in range(5):
    d = os.path.join(root, f"-home-you-work-project-{i}")
    os.makedirs(d, exist_ok=True)
    chats.append((f"soak-session-{i}", os.path.join(d, f"soak-session-{i}.jsonl"), 0))
n = 0
def stamp(t):
    return datetime.datetime.fromtimestamp(t, datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%S.%f")[:-3] + "Z"
def exchange(session, path, t):
    global n
    n += 1
    tool = rng.choice(tools)
    reply = {"type": "assistant", "sessionId": session, "cwd": "/home/you/work/" + session,
             "timestamp": stamp(t), "requestId": f"req_{n}",
             "message": {"id": f"msg_{n}", "model": "claude-sonnet",
                         "content": [{"type": "tool_use", "id": f"toolu_{n}", "name": tool, "input": {}}],
                         "usage": {"input_tokens": rng.randint(1, 50), "cache_read_input_tokens": rng.randint(20000, 200000),
                                   "cache_creation_input_tokens": rng.randint(0, 5000), "output_tokens": rng.randint(1, 800)}}}
    result = {"type": "user", "sessionId": session, "timestamp": stamp(t + 0.5),
              "message": {"content": [{"type": "tool_result", "tool_use_id": f"toolu_{n}",
                                       "content": "x" * rng.randint(1024, 60 * 1024)}]}}
    with open(path, "a") as f:
        f.write(json.dumps(reply, separators=(",", ":")) + "\n" + json.dumps(result, separators=(",", ":")) + "\n")
now = time.time()
for k in range(3000):  # the past week
    s, p, _ = chats[k % 5]
    exchange(s, p, now - 7 * 86400 + k * 200)
open(done + ".history", "w").close()
end = time.time() + minutes * 60
while time.time() < end:
    s, p, _ = rng.choice(chats)
    exchange(s, p, time.time())
    time.sleep(1.0)
open(done, "w").close()
PY
pids+=($!)
while [ ! -e "$work/writer.done.history" ]; do sleep 0.2; done

VELLUMKITE_SNAPSHOT_FILE=$work/app.json "$app" >"$work/app.log" 2>&1 &
app_pid=$!
pids+=($app_pid)
"$cli" watch --json >"$work/watch.jsonl" 2>"$work/watch.log" &
watch_pid=$!
pids+=($watch_pid)

rss() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
ticks=$(getconf CLK_TCK)
warm=$(python3 -c "print(20 if float($minutes) < 2 else 60)")
sleep "$warm"
t0=$(date +%s.%N)
app_rss0=$(rss $app_pid) watch_rss0=$(rss $watch_pid)
app_cpu0=$(cpu $app_pid) watch_cpu0=$(cpu $watch_pid)
while [ ! -e "$work/writer.done" ]; do sleep 1; done
t1=$(date +%s.%N)
app_rss1=$(rss $app_pid) watch_rss1=$(rss $watch_pid)
app_cpu1=$(cpu $app_pid) watch_cpu1=$(cpu $watch_pid)
sleep 7 # two more passes after the last line
threads() { for t in /proc/$1/task/*; do printf '%s=%s ' "$(cat "$t/comm")" "$(awk '{print $14 + $15}' "$t/stat")"; done; }
echo "CPU ticks by thread since start: app: $(threads $app_pid)"

"$cli" json >"$work/fresh.json"
tail -n 1 "$work/watch.jsonl" >"$work/watch.json"
python3 - "$work" "$t0" "$t1" "$ticks" "$app_rss0" "$app_rss1" "$watch_rss0" "$watch_rss1" \
    "$app_cpu0" "$app_cpu1" "$watch_cpu0" "$watch_cpu1" <<'PY'
import json, sys
w, t0, t1, ticks = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4])
a_r0, a_r1, w_r0, w_r1, a_c0, a_c1, w_c0, w_c1 = map(float, sys.argv[5:13])
span = t1 - t0
fresh = json.load(open(f"{w}/fresh.json"))
stable = ["menuTitle", "limits", "currentChat", "topChats", "toolEaters", "todayWeight"]
ok = True
for name, path, a_rss0, a_rss1, c0, c1 in (("app", "app.json", a_r0, a_r1, a_c0, a_c1),
                                          ("watch", "watch.json", w_r0, w_r1, w_c0, w_c1)):
    got = json.load(open(f"{w}/{path}"))
    diff = [k for k in stable if got[k] != fresh[k]]
    if got["tips"][:1] != fresh["tips"][:1]:
        diff.append("tips[0]")
    cpu = 100.0 * (c1 - c0) / ticks / span
    grow = (a_rss1 - a_rss0) / 1024
    print(f"{name:5}: RSS {a_rss0/1024:.1f} MB after warm-up, {a_rss1/1024:.1f} MB at the end "
          f"(+{grow:.2f} MB, target < 5); CPU {cpu:.2f} % of one core over {span/60:.1f} min "
          f"(target < 1 %); final figures {'equal a fresh json' if not diff else 'DIFFER in ' + ', '.join(diff)}")
    ok = ok and not diff and grow < 5 and cpu < 1
print("replies in the tree:", fresh["currentChat"]["replies"] if fresh["currentChat"] else 0, "in the current chat")
sys.exit(0 if ok else 1)
PY

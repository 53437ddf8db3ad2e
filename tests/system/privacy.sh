#!/usr/bin/env bash
# The privacy promise, checked on the real programs: they open no network sockets (only the
# local D-Bus socket), and every file they create is readable by the user only and holds no
# log content.
# Usage: privacy.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
cli=$build/src/cli/vellumkite-cli
statusline=$build/src/cli/vellumkite-statusline
app=$build/src/app/vellumkite
for tool in strace dbus-run-session; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done

work=$(mktemp -d)
trap 'chmod -R u+rwx "$work" 2>/dev/null; rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
# LeakSanitizer cannot run in a traced process; the sanitizer build checks leaks elsewhere.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
logs=$HOME/.claude/projects/-home-you-secret-project
mkdir -p "$logs"
now=$(date -u +%Y-%m-%dT%H:%M:%S.000Z)
secret="SECRET-PROMPT-CONTENT-4711"
cat >"$logs/chat.jsonl" <<JSON
{"type":"user","sessionId":"s1","cwd":"/home/you/secret-project","timestamp":"$now","message":{"role":"user","content":"$secret"}}
{"type":"assistant","sessionId":"s1","cwd":"/home/you/secret-project","timestamp":"$now","requestId":"r1","message":{"id":"m1","model":"claude","content":[{"type":"text","text":"$secret"},{"type":"tool_use","id":"t1","name":"Read","input":{}}],"usage":{"input_tokens":10,"cache_read_input_tokens":400000,"cache_creation_input_tokens":0,"output_tokens":5}}}
{"type":"user","sessionId":"s1","timestamp":"$now","message":{"content":[{"type":"tool_result","tool_use_id":"t1","content":"$secret $secret $secret"}]}}
JSON
touch "$work/before"
sleep 1

fail=0
check_trace() { # $1: name, $2: strace output
    # Every socket must be a local one.
    if grep -E 'socket\(|connect\(|bind\(|sendto\(' "$2" | grep -v -E 'AF_UNIX|AF_LOCAL' | grep -E 'AF_' >/dev/null; then
        echo "FAIL: $1 opened a non-local socket:"
        grep -E 'socket\(|connect\(' "$2" | grep -v -E 'AF_UNIX|AF_LOCAL' | head
        fail=1
    else
        echo "ok: $1 opened only local sockets ($(grep -c -E 'socket\(' "$2" || true) sockets)"
    fi
}

strace -f -qq -e trace=network -o "$work/cli.trace" "$cli" json >"$work/cli.json"
check_trace "vellumkite-cli json" "$work/cli.trace"
echo '{"rate_limits":{"five_hour":{"used_percentage":34,"resets_at":'"$(($(date +%s) + 3600))"'}}}' |
    strace -f -qq -e trace=network -o "$work/statusline.trace" "$statusline" >/dev/null
check_trace "vellumkite-statusline" "$work/statusline.trace"

# The app for a few passes, with a notification service on a private session bus: its one
# very-big-chat notification goes over the local D-Bus socket.
if command -v dunst >/dev/null && command -v xvfb-run >/dev/null; then
    xvfb-run -a dbus-run-session -- bash -c '
        dunst -config /dev/null >/dev/null 2>&1 &
        for i in $(seq 50); do
            dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
                org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications 2>/dev/null |
                grep -q "boolean true" && break
            sleep 0.1
        done
        QT_QPA_PLATFORM=offscreen timeout -s TERM 8 strace -f -qq -e trace=network -o "$1" "$2" >/dev/null 2>&1 || true
        kill %1 2>/dev/null || true' _ "$work/app.trace" "$app"
else
    QT_QPA_PLATFORM=offscreen timeout -s TERM 8 strace -f -qq -e trace=network -o "$work/app.trace" "$app" >/dev/null 2>&1 || true
fi
check_trace "vellumkite (app)" "$work/app.trace"

# Files created under the home folder: user-only, and none holds anything from the logs. The
# history keeps each reply's project folder (its reports are by project), never what was said.
while IFS= read -r f; do
    mode=$(stat -c %a "$f")
    if [ -d "$f" ]; then
        [ "$mode" = 700 ] || { echo "FAIL: folder $f has mode $mode"; fail=1; }
    else
        [ "$mode" = 600 ] || { echo "FAIL: file $f has mode $mode"; fail=1; }
        names="secret-project"
        case $f in */history.sqlite3*) names="$secret" ;; esac
        if grep -q -e "$secret" -e "$names" "$f"; then
            echo "FAIL: $f holds log content"
            fail=1
        fi
    fi
    echo "ok: created $f ($mode)"
done < <(find "$HOME" -newer "$work/before" -path "$HOME/.claude" -prune -o -mindepth 1 -print | grep -v "^$HOME/.claude")
grep -q -e "$secret" "$work/cli.json" && { echo "FAIL: the JSON snapshot holds log text"; fail=1; }
exit $fail

# Shared by the app's end-to-end scripts, which set $work before sourcing it: the processes they
# start are listed in $pids and killed on exit; fail prints the outputs kept in $work.

# needs TOOL...: skips the test (exit 77) when one of the tools is missing.
needs() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || { echo "missing $tool: skipped"; exit 77; }
    done
}
# fresh_home: an empty $work, with the home, the settings, the data and the runtime folder in it,
# and an X11 session for Qt.
fresh_home() {
    rm -rf "$work"
    mkdir -p "$work/home"
    export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
    # A runtime folder of its own: with the shared fallback, an app of another test running at
    # the same time would be taken for this one's running instance.
    mkdir -p -m 0700 "$work/run"
    export XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY
}
# For an app that ends normally: under LeakSanitizer, libdbus's own leak is not ours to report.
ignore_dbus_leak() {
    LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(cd "$(dirname "$0")/.." && pwd)/lsan.supp"
    export LSAN_OPTIONS
}

pids=""
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    for f in "$work"/*.out "$work"/*.err; do [ -s "$f" ] && { echo "--- $f"; cat "$f"; }; done
    exit 1
}
# wait_for SECONDS COMMAND...: polls every 0.1 s until the command succeeds.
wait_for() {
    limit=$(($1 * 10))
    shift
    n=0
    until "$@" >/dev/null 2>&1; do
        n=$((n + 1))
        [ "$n" -ge "$limit" ] && return 1
        sleep 0.1
    done
}

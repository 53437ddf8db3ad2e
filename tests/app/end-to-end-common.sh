# Shared by the app's end-to-end scripts, which set $work before sourcing it: the processes they
# start are listed in $pids and killed on exit; fail prints the outputs kept in $work.
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

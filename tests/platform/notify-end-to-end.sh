#!/bin/sh
# Posts a notification to a real server (dunst) and reads back what it recorded. Run by CTest as
#   xvfb-run -a dbus-run-session -- notify-end-to-end.sh PROGRAM WORKDIR
# Exits 77 (skipped) when a tool is missing.
set -u
program=$1
workdir=$2
for tool in dunst dunstctl dbus-send; do
    command -v "$tool" >/dev/null 2>&1 || { echo "missing $tool: skipped"; exit 77; }
done
mkdir -p "$workdir"

dunst -config /dev/null >"$workdir/dunst.log" 2>&1 &
dunst_pid=$!
trap 'kill "$dunst_pid" 2>/dev/null' EXIT

# Ask the bus, not the service: calling the service by name would start another dunst.
owned() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications 2>/dev/null |
        grep -q 'boolean true'
}
tries=0
until owned; do
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ] || ! kill -0 "$dunst_pid" 2>/dev/null; then
        echo "dunst did not take the notification service within 10 s"
        cat "$workdir/dunst.log"
        exit 1
    fi
    sleep 0.1
done

"$program" post || { echo "posting failed"; exit 1; }
dunstctl close-all
dunstctl history >"$workdir/history.json" || { echo "dunstctl history failed"; exit 1; }
"$program" check "$workdir/history.json"

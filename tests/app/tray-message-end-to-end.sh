#!/bin/sh
# The tray's messages on a real X server with an XEmbed tray. Run by CTest as
#   xvfb-run -a tray-message-end-to-end.sh VIEWS_TESTS WORKDIR
# The notification centre's tests must find the tray there and see the balloon. Exits 77
# (skipped) when a tool is missing.
set -u
tests=$1
work=$2
for tool in trayer xdotool; do
    command -v "$tool" >/dev/null 2>&1 || { echo "missing $tool: skipped"; exit 77; }
done
rm -rf "$work"
mkdir -p "$work/home"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
# A runtime folder of its own: with the shared fallback, an app of another test running at the
# same time would be taken for this one's running instance.
mkdir -p -m 0700 "$work/run"
export XDG_RUNTIME_DIR="$work/run"
export XDG_CACHE_HOME="$work/cache" QT_QPA_PLATFORM=xcb VELLUMKITE_EXPECT_TRAY=1
unset WAYLAND_DISPLAY
# No StatusNotifier host here: the icon goes to the XEmbed tray, which Qt draws messages for.
unset DBUS_SESSION_BUS_ADDRESS
# Qt still asks libdbus for a bus; under LeakSanitizer, libdbus's own leak is not ours to report.
LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(cd "$(dirname "$0")/.." && pwd)/lsan.supp"
export LSAN_OPTIONS

. "$(dirname "$0")/end-to-end-common.sh"

trayer --edge top --align right --SetDockType true --widthtype request --height 24 \
    >"$work/trayer.out" 2>&1 &
pids="$pids $!"
wait_for 10 xdotool search --class trayer || fail "trayer did not start"

"$tests" --gtest_filter='TrayNotificationCenter.*' >"$work/tests.out" 2>&1 ||
    fail "the notification centre's tests failed with a tray"
grep -q '^\[  PASSED  \] 2 tests' "$work/tests.out" || fail "not every test ran"
cat "$work/tests.out"

#!/bin/sh
# The tray's messages on a real X server with an XEmbed tray. Run by CTest as
#   xvfb-run -a tray-message-end-to-end.sh VIEWS_TESTS WORKDIR
# The notification centre's tests must find the tray there and see the balloon. Exits 77
# (skipped) when a tool is missing.
set -u
tests=$1
work=$2
. "$(dirname "$0")/end-to-end-common.sh"
needs trayer xdotool
fresh_home
export XDG_CACHE_HOME="$work/cache" VELLUMKITE_EXPECT_TRAY=1
# No StatusNotifier host here: the icon goes to the XEmbed tray, which Qt draws messages for.
unset DBUS_SESSION_BUS_ADDRESS
# Qt still asks libdbus for a bus.
ignore_dbus_leak

trayer --edge top --align right --SetDockType true --widthtype request --height 24 \
    >"$work/trayer.out" 2>&1 &
pids="$pids $!"
wait_for 10 xdotool search --class trayer || fail "trayer did not start"

"$tests" --gtest_filter='TrayNotificationCenter.*' >"$work/tests.out" 2>&1 ||
    fail "the notification centre's tests failed with a tray"
grep -q '^\[  PASSED  \] 2 tests' "$work/tests.out" || fail "not every test ran"
cat "$work/tests.out"

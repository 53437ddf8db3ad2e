#!/bin/sh
# The app on a desktop without a system tray, on a real X server with a window manager. Run by
# CTest as
#   xvfb-run -a reach-end-to-end.sh APP WORKDIR
# The floating box's menu opens the popover; with the box hidden, starting the app again opens the
# running one's popover and ends at once; a tray that appears later takes over and one that
# vanishes leaves the fallback working; a killed instance's socket does not stop the next start;
# the box's "Quit" and SIGTERM end the app in order. Exits 77 (skipped) when a tool is missing.
set -u
app=$1
work=$2
. "$(dirname "$0")/end-to-end-common.sh"
needs openbox trayer xdotool xwininfo xprop timeout
fresh_home
ignore_dbus_leak
unset VELLUMKITE_DEMO VELLUMKITE_DEMO_SIZE DBUS_SESSION_BUS_ADDRESS
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# A mapped top-level window of the app with the given width: 300 is the medium box, 320 the
# popover. Prints its id.
shown() {
    for id in $(xdotool search --onlyvisible --class vellumkite 2>/dev/null); do
        xwininfo -id "$id" 2>/dev/null | grep -q "Width: $1\$" && { echo "$id"; return 0; }
    done
    return 1
}
hidden() { ! shown "$1"; }
tray_icon() {
    for id in $(xdotool search --onlyvisible --class vellumkite 2>/dev/null); do
        xwininfo -id "$id" 2>/dev/null | grep -q 'Width: 22$' && { echo "$id"; return 0; }
    done
    return 1
}
# Opens the box's menu with a secondary click on the box, then picks an item by keys.
box_menu() {
    eval "$(xdotool getwindowgeometry --shell "$box")"
    xdotool mousemove $((X + 40)) $((Y + 12)) click 3
    sleep 0.5
    xdotool key "$@"
}
# A later start: must end with 0 within a second (three for a build under AddressSanitizer,
# which starts several times slower).
limit_ms=1000
ldd "$app" 2>/dev/null | grep -q libasan && limit_ms=3000
start_again() {
    t0=$(now_ms)
    timeout 10 "$app" >>"$work/later.out" 2>>"$work/later.err"
    rc=$?
    took=$(($(now_ms) - t0))
    [ "$rc" -eq 0 ] || fail "a later start ended with $rc"
    [ "$took" -lt "$limit_ms" ] || fail "a later start took $took ms"
    echo "later start ended in $took ms"
}

openbox >"$work/openbox.out" 2>&1 &
pids="$pids $!"
wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
    fail "openbox did not start"

# --- No tray: the box is the way in.
# Started without a wrapper, so that $! is the app itself (the test's own time limit guards it).
"$app" >"$work/app.out" 2>"$work/app.err" &
first=$!
pids="$pids $first"
wait_for 15 shown 300 || fail "the floating box did not appear"
box=$(shown 300)
# Near the top right of the 1280-wide screen, where the window manager was asked to put it.
eval "$(xdotool getwindowgeometry --shell "$box")"
[ "$X" -eq $((1280 - 300 - 12)) ] && [ "$Y" -lt 100 ] || fail "the box is at $X,$Y, not top right"
grep -q "no system tray found" "$work/app.err" || fail "no word on standard error about the tray"
[ -S "$XDG_RUNTIME_DIR/vellumkite-$(id -u).socket" ] || fail "no instance socket"

box_menu Down Return # "Open Vellumkite" leads the menu
wait_for 5 shown 320 || fail "the box's menu did not open the popover"
xdotool key Escape
wait_for 5 hidden 320 || fail "Escape did not close the popover"

box_menu Up Up Return # "Hide box", above "Quit"
wait_for 5 hidden 300 || fail "the box's menu did not hide the box"
kill -0 "$first" || fail "hiding the box ended the app"

# --- With nothing on screen, starting the app again brings it back.
start_again
wait_for 5 shown 320 || fail "a later start did not open the popover"
popover=$(shown 320)
eval "$(xdotool getwindowgeometry --shell "$popover")"
# Centred near the top of the 1280-wide screen.
[ "$X" -eq 480 ] || fail "the popover is at x=$X, not centred"
[ "$Y" -lt 200 ] || fail "the popover is at y=$Y, not near the top"
xdotool mousemove 100 700 click 1 # a click outside closes it
wait_for 5 hidden 320 || fail "a click outside did not close the popover"
start_again
wait_for 5 shown 320 || fail "a second later start did not open the popover"
xdotool key Escape
wait_for 5 hidden 320 || fail "Escape did not close the popover"

# --- A tray that appears takes over without a restart ...
trayer --edge top --align right --SetDockType true --SetPartialStrut true --expand true \
    --widthtype request --height 24 --transparent false >"$work/trayer.out" 2>&1 &
tray=$!
pids="$pids $tray"
wait_for 15 tray_icon || fail "the icon did not embed when a tray appeared"
sleep 1 # the tray settles its layout
icon=$(tray_icon)
eval "$(xdotool getwindowgeometry --shell "$icon")"
xdotool mousemove $((X + 11)) $((Y + 11)) click 1
wait_for 5 shown 320 || fail "clicking the late tray's icon opened no popover"
xdotool key Escape
wait_for 5 hidden 320 || fail "Escape did not close the popover"

# ... and when it vanishes, starting again still brings the popover back.
kill "$tray"
wait "$tray" 2>/dev/null
start_again
wait_for 5 shown 320 || fail "after the tray vanished, a later start opened no popover"
eval "$(xdotool getwindowgeometry --shell "$(shown 320)")"
[ "$X" -eq 480 ] || fail "without the tray the popover is at x=$X, not centred"
xdotool key Escape
wait_for 5 hidden 320 || fail "Escape did not close the popover"

# --- A killed instance leaves its socket; the next start runs all the same.
kill -9 "$first"
wait "$first" 2>/dev/null
[ -S "$XDG_RUNTIME_DIR/vellumkite-$(id -u).socket" ] || fail "the killed instance left no socket"
sed -i 's/"showFloatingBox": *false/"showFloatingBox": true/' \
    "$XDG_CONFIG_HOME/Vellumkite/preferences.json"
"$app" >"$work/next.out" 2>"$work/next.err" &
next=$!
pids="$pids $next"
wait_for 15 shown 300 || fail "the start after a killed instance showed no box"
box=$(shown 300)
start_again
wait_for 5 shown 320 || fail "the new instance did not answer a later start"
xdotool key Escape
wait_for 5 hidden 320 || fail "Escape did not close the popover"

# --- "Quit" ends it, and takes its socket along.
box_menu Up Return
wait_for 10 sh -c "! kill -0 $next" || fail "Quit in the box's menu did not end the app"
wait "$next"
rc=$?
[ "$rc" -eq 0 ] || fail "the app ended with $rc after Quit"
[ ! -e "$XDG_RUNTIME_DIR/vellumkite-$(id -u).socket" ] || fail "Quit left the socket behind"

# --- A logout's SIGTERM takes the same way out.
"$app" >"$work/term.out" 2>"$work/term.err" &
term=$!
pids="$pids $term"
wait_for 15 shown 300 || fail "the start after Quit showed no box"
kill -TERM "$term"
wait_for 10 sh -c "! kill -0 $term" || fail "SIGTERM did not end the app"
wait "$term"
rc=$?
[ "$rc" -eq 0 ] || fail "the app ended with $rc after SIGTERM"
[ ! -e "$XDG_RUNTIME_DIR/vellumkite-$(id -u).socket" ] || fail "SIGTERM left the socket behind"
echo "ok: box menu, later starts, late tray, vanished tray, killed instance, Quit, SIGTERM"

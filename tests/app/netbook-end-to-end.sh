#!/bin/sh
# The app on a 1024x600 X screen at 125 % (a desktop of 819x480 logical pixels), with a window
# manager and a tray in a panel at the bottom. Run by CTest as
#   xvfb-run -s "-screen 0 1024x600x24" netbook-end-to-end.sh APP WORKDIR
# A click on the tray icon opens the popover above the panel, wholly on the screen, and the
# History window it opens (Ctrl+H) fits the screen too. Exits 77 (skipped) when a tool is missing.
set -u
app=$1
work=$2
. "$(dirname "$0")/end-to-end-common.sh"
needs openbox trayer xdotool xwininfo timeout
fresh_home
mkdir -p "$work/config"
unset VELLUMKITE_DEMO VELLUMKITE_DEMO_SIZE DBUS_SESSION_BUS_ADDRESS
export QT_SCALE_FACTOR=1.25

openbox >"$work/openbox.out" 2>&1 &
pids="$pids $!"
wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
    fail "openbox did not start"
trayer --edge bottom --align right --SetDockType true --SetPartialStrut true --expand true \
    --widthtype request --height 24 --transparent false >"$work/trayer.out" 2>&1 &
pids="$pids $!"
wait_for 10 xdotool search --class trayer || fail "trayer did not start"

timeout 60 "$app" >"$work/app.out" 2>"$work/app.err" &
pids="$pids $!"
# The icon: the app's small viewable window inside the tray.
icon_window() {
    for id in $(xdotool search --class vellumkite 2>/dev/null); do
        info=$(xwininfo -id "$id" 2>/dev/null) || continue
        echo "$info" | grep -q 'Map State: IsViewable' || continue
        [ "$(echo "$info" | awk '/Width:/ {print $2}')" -le 32 ] && { echo "$id"; return 0; }
    done
    return 1
}
wait_for 15 icon_window || fail "the tray icon did not embed"
icon=$(icon_window)
sleep 1
eval "$(xdotool getwindowgeometry --shell "$icon")"
xdotool mousemove $((X + 11)) $((Y + 11)) click 1

# The popover: the one viewable override-redirect window of the app, not the icon.
popover_geometry() {
    for id in $(xdotool search --class vellumkite 2>/dev/null); do
        [ "$id" = "$icon" ] && continue
        info=$(xwininfo -id "$id" 2>/dev/null) || continue
        echo "$info" | grep -q 'Map State: IsViewable' || continue
        echo "$info" | grep -q 'Override Redirect State: yes' || continue
        x=$(echo "$info" | awk '/Absolute upper-left X/ {print $4}')
        y=$(echo "$info" | awk '/Absolute upper-left Y/ {print $4}')
        w=$(echo "$info" | awk '/Width:/ {print $2}')
        h=$(echo "$info" | awk '/Height:/ {print $2}')
        [ "$w" -gt 200 ] && { echo "$x $y $w $h"; return 0; }
    done
    return 1
}
# A click that came while the tray was still settling is tried once more.
if ! wait_for 5 popover_geometry; then
    xdotool mousemove $((X + 11)) $((Y + 11)) click 1
    wait_for 10 popover_geometry || fail "clicking the icon opened no popover"
fi
set -- $(popover_geometry)
echo "popover at $1,$2 ${3}x$4, icon at $X,$Y" >"$work/geometry.out"
# 320 logical pixels wide at 125 %, and inside the screen above the 24-pixel panel.
[ "$3" -eq 400 ] || fail "the popover is not scaled to 125 % ($3 wide)"
[ "$1" -ge 0 ] && [ "$2" -ge 0 ] && [ $(($1 + $3)) -le 1024 ] && [ $(($2 + $4)) -le "$Y" ] ||
    fail "the popover is not wholly on the screen above the panel"

xdotool key ctrl+h
history_window() {
    for id in $(xdotool search --name '^Vellumkite History$' 2>/dev/null); do
        xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' && { echo "$id"; return 0; }
    done
    return 1
}
wait_for 10 history_window || fail "Ctrl+H in the popover opened no History window"
sleep 0.5
info=$(xwininfo -frame -id "$(history_window)")
hx=$(echo "$info" | awk '/Absolute upper-left X/ {print $4}')
hy=$(echo "$info" | awk '/Absolute upper-left Y/ {print $4}')
hw=$(echo "$info" | awk '/Width:/ {print $2}')
hh=$(echo "$info" | awk '/Height:/ {print $2}')
echo "history at $hx,$hy ${hw}x$hh" >>"$work/geometry.out"
[ "$hx" -ge 0 ] && [ "$hy" -ge 0 ] && [ $((hx + hw)) -le 1024 ] && [ $((hy + hh)) -le 600 ] ||
    fail "the History window is not wholly on the screen"
echo "ok: $(cat "$work/geometry.out" | tr '\n' ' ')"

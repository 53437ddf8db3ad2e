#!/bin/sh
# The app on a real X server with a window manager and a system tray. Run by CTest as
#   xvfb-run -a views-end-to-end.sh APP WORKDIR
# Demo mode must report one 320-wide "popup" and one "box" of the demo size (and with --history
# a "history" 640 wide and at least 480 tall, its content's height); in normal mode the tray icon must embed, show a drawn title, and open the
# popover when clicked, whose History opens the History window, which Escape closes.
# Exits 77 (skipped) when a tool is missing.
set -u
app=$1
work=$2
. "$(dirname "$0")/end-to-end-common.sh"
needs openbox trayer xdotool xwininfo xprop import convert timeout
fresh_home
unset VELLUMKITE_DEMO VELLUMKITE_DEMO_SIZE
# No StatusNotifier host here: the icon goes to the XEmbed tray.
unset DBUS_SESSION_BUS_ADDRESS

openbox >"$work/openbox.out" 2>&1 &
pids="$pids $!"
wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
    fail "openbox did not start"

# The icon is the app's 22x22 window inside the tray.
find_icon() {
    for id in $(xdotool search --class vellumkite 2>/dev/null); do
        if xwininfo -id "$id" 2>/dev/null | grep -q 'Width: 22' &&
            xwininfo -id "$id" 2>/dev/null | grep -q 'Height: 22' &&
            xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable'; then
            echo "$id"
            return 0
        fi
    done
    return 1
}
trayer --edge top --align right --SetDockType true --SetPartialStrut true --expand true \
    --widthtype request --height 24 --transparent false >"$work/trayer.out" 2>&1 &
pids="$pids $!"
wait_for 10 xdotool search --class trayer || fail "trayer did not start"

# --- Demo mode: the window report, with the tray icon embedded alongside.
VELLUMKITE_DEMO=1 VELLUMKITE_DEMO_SIZE=small timeout 30 "$app" >"$work/demo.out" 2>"$work/demo.err" &
demo=$!
pids="$pids $demo"
wait_for 15 sh -c "[ \$(wc -l <'$work/demo.out') -ge 2 ]" || fail "no window report in demo mode"
wait_for 5 find_icon || fail "the tray icon did not embed in demo mode"
sleep 0.5
popups=$(grep -c '^window [0-9]* 320x[0-9]* popup$' "$work/demo.out")
boxes=$(grep -c '^window [0-9]* 240x[0-9]* box$' "$work/demo.out")
lines=$(wc -l <"$work/demo.out")
[ "$popups" -eq 1 ] && [ "$boxes" -eq 1 ] && [ "$lines" -eq 2 ] ||
    fail "demo report: expected one 320-wide popup and one 240-wide box"
# The reported numbers are the X windows, and the box asks to be on every desktop.
box_id=$(awk '/ box$/ {print $2}' "$work/demo.out")
popup_id=$(awk '/ popup$/ {print $2}' "$work/demo.out")
xwininfo -id "$popup_id" | grep -q 'Width: 320' || fail "window $popup_id is not the 320-wide panel"
xprop -id "$box_id" _NET_WM_DESKTOP | grep -q '4294967295' || fail "the box is not on all desktops"
xprop -id "$box_id" _NET_WM_STATE | grep -q '_NET_WM_STATE_ABOVE' || fail "the box is not kept above"
# No compositor runs here: the panel and the box are square and opaque, no black corners.
for id in "$popup_id" "$box_id"; do
    import -window "$id" "$work/corner-$id.png" || fail "could not grab window $id"
    corner=$(convert "$work/corner-$id.png" -format '%[fx:int(255*lightness)]' \
        -crop 1x1+1+1 info:)
    [ "$corner" -ge 128 ] || fail "window $id has a dark corner (lightness $corner)"
done
kill "$demo" 2>/dev/null
wait "$demo" 2>/dev/null
grep -q '"floatingBoxSize": *"small"' "$work/config/Vellumkite/preferences.json" ||
    fail "the demo size was not stored"

# --- Demo mode with --history: the History window opens at once and is reported too.
VELLUMKITE_DEMO=1 timeout 30 "$app" --history >"$work/demo-history.out" 2>"$work/demo-history.err" &
demo=$!
pids="$pids $demo"
wait_for 15 sh -c "[ \$(wc -l <'$work/demo-history.out') -ge 3 ]" ||
    fail "no window report with --history"
grep -Eq '^window [0-9]+ 640x(4[89][0-9]|[5-7][0-9][0-9]) history$' "$work/demo-history.out" ||
    fail "the demo report has no 640-wide history window of its content's height"
history_id=$(awk '/ history$/ {print $2}' "$work/demo-history.out")
xwininfo -id "$history_id" | grep -q 'Map State: IsViewable' || fail "the History window is not shown"
kill "$demo" 2>/dev/null
wait "$demo" 2>/dev/null

# --- Normal mode with a tray, and a 5-hour reading so that the title is a percentage.
mkdir -p "$XDG_DATA_HOME/Vellumkite"
printf '{"rate_limits":{"five_hour":{"used_percentage":40,"resets_at":'"$(($(date +%s) + 3600))"'}}}' \
    >"$XDG_DATA_HOME/Vellumkite/statusline.json"

timeout 60 "$app" >"$work/app.out" 2>"$work/app.err" &
pids="$pids $!"
wait_for 15 find_icon || fail "the tray icon did not embed"
icon=$(find_icon)
sleep 1 # the first pass publishes the title
import -window "$icon" "$work/icon.png" || fail "could not grab the icon"
# Not blank, and at 22 pixels the title "40" alone, hinted at full height, spans most of the
# icon's width and height.
colours=$(convert "$work/icon.png" -format '%k' info:)
[ "$colours" -ge 3 ] || fail "the icon is blank ($colours colours)"
ink=$(convert "$work/icon.png" -colorspace gray -threshold 50% -negate -trim -format '%w %h' info:)
[ "${ink% *}" -ge 14 ] && [ "${ink#* }" -ge 10 ] ||
    fail "no title drawn in the icon (ink $ink pixels)"

count_popups() {
    xwininfo -root -tree | grep -c ' 320x[0-9]*+[0-9-]*+[0-9-]*'
}
before=$(count_popups)
eval "$(xdotool getwindowgeometry --shell "$icon")"
xdotool mousemove $((X + 11)) $((Y + 11)) click 1
opened() {
    xwininfo -root -tree | grep ' 320x[0-9]*+[0-9-]*+[0-9-]*' >"$work/popups.txt"
    [ "$(wc -l <"$work/popups.txt")" -gt "$before" ] || return 1
    for id in $(awk '{print $1}' "$work/popups.txt"); do
        xwininfo -id "$id" | grep -q 'Map State: IsViewable' && return 0
    done
    return 1
}
wait_for 10 opened || fail "clicking the icon opened no popover"

# The popover's History (Ctrl+H, the History button's shortcut) opens the History window in its
# place; Escape closes it.
history_window() {
    for id in $(xdotool search --name '^Vellumkite History$' 2>/dev/null); do
        xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' && { echo "$id"; return 0; }
    done
    return 1
}
xdotool key ctrl+h
wait_for 10 history_window || fail "History in the popover opened no History window"
history=$(history_window)
xdotool windowactivate --sync "$history" 2>/dev/null || xdotool windowfocus "$history"
sleep 0.3
xdotool key Escape
wait_for 10 sh -c "! xwininfo -id $history 2>/dev/null | grep -q 'Map State: IsViewable'" ||
    fail "Escape did not close the History window"
echo "ok: demo report, tray icon $icon, popover opened, History opened and closed"

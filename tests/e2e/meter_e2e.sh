#!/usr/bin/env bash
# The meter as a user sees it: in a Wine desktop with a taskbar, its picture in the
# notification area follows a client's State.SAH, the right button opens its menu, and "Exit"
# ends it with code 0 and takes the picture away. What another program sees of it meanwhile:
# common controls 6 from the side-by-side store, no system error boxes, and no focus left in
# its hidden window by the menu. Then at 96, 120, 144 and 192 DPI the empty and the full dish in
# the notification area are their art of that size, pixel for pixel.
# Usage: meter_e2e.sh path/to/Vantorel.exe path/to/meter_prober.exe [win7]
#   win7  the prefix says it is Windows 7, and the scales are left out
# VANTOREL_E2E_SHOTS=dir keeps the screenshots there.
set -euo pipefail

exe=$(readlink -f "$1")
prober=$(readlink -f "$2")
windows=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/e2e_steps.sh
. "$here/e2e_steps.sh"

e2e_setup 0.473000
if [ "$windows" = win7 ]; then
    # What "winecfg -v win7" writes; winecfg itself would leave the desktop's keys astray.
    wd_reg 'HKCU\Software\Wine' /v Version /d win7
fi
wd_set_meter_settings "$(winepath -w "$client")" 1
e2e_start_meter

# The start picture (no red) gives way to the first tick's: 47.30% is part red, part green.
deadline=$((SECONDS + 30))
while :; do
    alive || fail "the meter ended on its own"
    census start
    [ "$red" -gt 0 ] && [ "$green" -gt 0 ] && break
    [ "$SECONDS" -lt "$deadline" ] || fail "no part-red dish in the notification area ($tray):" \
        "green=$green yellow=$yellow red=$red"
    sleep 0.3
done
first="$green $yellow $red"
wd_log "47.30%: green=$green yellow=$yellow red=$red at $x0,$y0-$x1,$y1"
if [ $((x1 - x0)) -ge 40 ] || [ $((y1 - y0)) -ge 40 ]; then
    fail "the dish colours cover $x0,$y0-$x1,$y1, more than one icon"
fi

# The menu still closes on a click away, and closed by Escape it leaves no control of the
# hidden window with the keyboard. Mouse and keys first: once another program has run in the
# desktop, keys go astray.
closed() { ! menu_open; }
# Right after a menu closed, Wine's taskbar can take the next click for itself (it shows the
# tooltip instead): a second click then opens the menu.
menu_by_right_click() {
    xdotool mousemove $(((x0 + x1) / 2)) $(((y0 + y1) / 2)) click 3
    wd_wait 3 menu_open && return 0
    wd_log "a second right-click for the menu"
    xdotool click 3
    wd_wait 10 menu_open || fail "no popup menu after a right click on the picture"
}
menu_by_right_click
xdotool mousemove 200 200 click 1
wd_wait 10 closed || fail "a click away did not close the menu"
menu_by_right_click
xdotool key Escape
wd_wait 10 closed || fail "Escape did not close the menu"
probe() { wine "$prober" "$@" 2>&1 | tr -d '\r'; }
focus=$(probe focus)
wd_log "after the menu and Escape: $(tr '\n' ';' <<<"$focus")"
if grep -q '^focus: .* in "Vantorel", hidden$' <<<"$focus" &&
    ! grep -q '^focus: VantorelWindow ' <<<"$focus"; then
    fail "a control of the hidden window has the focus: $focus"
fi

if [ "$windows" = win7 ]; then
    version=$(wine cmd /c ver 2>/dev/null | tr -d '\r' | grep -o '[0-9][0-9.]*' | head -n 1)
    [[ "$version" == 6.1.* ]] || fail "the prefix reports Windows $version, not 7 (6.1)"
    wd_log "the prefix reports Windows $version"
fi
comctl32=$(probe module comctl32.dll)
wd_log "comctl32: $comctl32"
[[ "${comctl32,,}" == *'\winsxs\'*common-controls* ]] ||
    fail "comctl32 is not the side-by-side version 6 of the manifest: $comctl32"
mode=$(probe errormode)
wd_log "$mode"
# SEM_FAILCRITICALERRORS and SEM_NOOPENFILEERRORBOX.
[[ "$mode" =~ ^error\ mode:\ (0x[0-9a-f]+)$ ]] && [ $((BASH_REMATCH[1] & 0x8001)) = $((0x8001)) ] ||
    fail "the meter may raise system error boxes: $mode"

# More ticks over the same file: the meter lives on and the picture stays.
sleep 3
alive || fail "the meter ended after a few ticks"
census steady
[ "$green $yellow $red" = "$first" ] || fail "the picture changed with the file unchanged:" \
    "$first -> $green $yellow $red"

write_state 1.000000
deadline=$((SECONDS + 15))
read -r green0 _ red0 <<<"$first"
while :; do
    alive || fail "the meter ended on its own"
    census full
    [ "$red" -gt "$red0" ] && [ "$green" -lt "$green0" ] && break
    [ "$SECONDS" -lt "$deadline" ] || fail "the picture did not fill with red at 100%:" \
        "green=$green yellow=$yellow red=$red, before $first"
    sleep 0.3
done
wd_log "100.00%: green=$green yellow=$yellow red=$red"

# By the mouse: the programs above ran in the desktop.
e2e_exit_through_menu 15 click
if [ "$windows" = win7 ]; then
    wd_log "PASS"
    exit 0
fi

# The dish at each display scale, pixel for pixel against its art: 16 pixels at 96 DPI, 20 at
# 120, 24 at 144, 32 at 192; a stretched smaller picture has another size and fails.
resources="$here/../../resources"
art=$WD_DIR/art.png
# The drawn part of frame $2 of icon file $1 into $art: sets aw ah ax ay.
art_box() {
    convert "$1[$2]" "$art"
    IFS='x+' read -r aw ah ax ay < <(convert "$art" -alpha extract -format '%@\n' info:)
}
# The dish in the last screenshot is exactly $art, a picture of $1 pixels.
same_as_art() {
    local crop=$WD_DIR/crop.png differ
    convert "$shot" -crop "${1}x${1}+$((x0 - ax))+$((y0 - ay))" +repage "$crop"
    # The art laid over the screen changes nothing where every drawn pixel is already there.
    convert "$crop" "$art" -composite "$WD_DIR/laid.png"
    differ=$(compare -metric AE "$WD_DIR/laid.png" "$crop" null: 2>&1) || true
    [ "$differ" = 0 ] || { wd_log "$differ pixels differ from the art"; return 1; }
}
find_tray() {
    tray=$(wd_tray_area) && [ -n "$tray" ]
}
wd_set_meter_settings "\"$(winepath -w "$client")\"" 1  # quoted, as "Copy as path" gives it

for dpi in 96 120 144 192; do
    size=$((dpi / 6))
    frame=$(identify -format '%p %w\n' "$resources/Dish0.ico" | awk -v s="$size" '$2 == s { print $1 }')
    [ -n "$frame" ] || fail "the dish is not drawn at $size pixels"
    # Set before the server goes down, so that the new one starts with it: Wine reads the
    # scale once, when its first program starts.
    wd_set_dpi "$dpi"
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    wineserver -p
    write_state 0.000000
    wd_start_desktop
    wine "$exe" >"$WD_DIR/meter-$dpi.log" 2>&1 &
    meter_pid=$!
    tray=
    wd_wait 30 find_tray || fail "$dpi DPI: no taskbar in the Wine desktop"
    for n in 0 6; do
        [ "$n" = 0 ] || write_state 1.000000
        art_box "$resources/Dish$n.ico" "$frame"
        deadline=$((SECONDS + 20))
        while :; do
            alive || fail "$dpi DPI: the meter ended on its own"
            census "$dpi-dish$n"
            if { [ "$n" = 0 ] && [ "$green" -gt 0 ] && [ "$red" -eq 0 ]; } ||
                { [ "$n" = 6 ] && [ "$green" -eq 0 ] && [ "$red" -gt 0 ]; }; then
                [ $((x1 - x0 + 1))x$((y1 - y0 + 1)) = "${aw}x${ah}" ] && same_as_art "$size" &&
                    break
            fi
            [ "$SECONDS" -lt "$deadline" ] || fail "$dpi DPI: Dish$n is not its $size-pixel art" \
                "(green=$green yellow=$yellow red=$red at $x0,$y0-$x1,$y1, art ${aw}x${ah})"
            sleep 0.5
        done
        wd_log "$dpi DPI: Dish$n is its $size-pixel art at $x0,$y0"
    done
done
wd_log "PASS"

#!/usr/bin/env bash
# The meter as a user sees it: in a Wine desktop with a taskbar, its picture in the
# notification area follows a client's State.SAH, the right button opens its menu, and "Exit"
# ends it with code 0 and takes the picture away.
# Usage: meter_e2e.sh path/to/Vantorel.exe
# VANTOREL_E2E_SHOTS=dir keeps the screenshots there.
set -euo pipefail

exe=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
WD_DESKTOP=e2e WD_SIZE=800x600
# shellcheck source=tools/lib/wine-desktop.sh
. "$here/../../tools/lib/wine-desktop.sh"

meter_pid=
fail() {
    wd_log "FAIL: $*"
    exit 1
}
finish() {
    local status=$?
    if [ -n "${VANTOREL_E2E_SHOTS:-}" ] && [ -n "$WD_DIR" ]; then
        mkdir -p "$VANTOREL_E2E_SHOTS"
        cp "$WD_DIR"/shot-*.png "$VANTOREL_E2E_SHOTS"/ 2>/dev/null || true
    fi
    wd_cleanup
    exit "$status"
}
trap finish EXIT

shot_no=0
shot=
screenshot() {
    shot_no=$((shot_no + 1))
    shot="$WD_DIR/shot-$shot_no-$1.png"
    import -window root "$shot"
}

# The census of the notification area in a new screenshot: sets green yellow red and the box.
census() {
    screenshot "$1"
    read -r green yellow red x0 y0 x1 y1 < <(wd_dish_census "$shot" "$tray")
}

alive() { kill -0 "$meter_pid" 2>/dev/null; }

# A client rewrites its state file in place; LF-ended lines as the text-mode client writes them.
write_state() {
    printf 'ncfft=59\ncr=-4.5e-02\nfl=8192\ncpu=6071.28\nprog=%s\nbs_power=12.54\n' "$1" \
        >"$client/State.SAH"
}

wd_make_dir
wd_start_x 1024x768x24
wd_make_prefix

client="$WD_DIR/client"
mkdir -p "$client"
write_state 0.473000
wd_set_meter_settings "$(winepath -w "$client")" 1

wd_start_desktop
wine "$exe" >"$WD_DIR/meter.log" 2>&1 &
meter_pid=$!

# The taskbar shows up with the first icon in the notification area.
tray=
for _ in $(seq 150); do
    alive || fail "the meter ended on its own"
    tray=$(wd_tray_area || true)
    [ -z "$tray" ] || break
    sleep 0.2
done
[ -n "$tray" ] || fail "no taskbar in the Wine desktop"

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

# The right button on the middle of the picture opens the menu, a window of the meter's own.
menu_open() {
    xdotool search --onlyvisible --classname 'vantorel.exe' 2>/dev/null | while read -r id; do
        xwininfo -id "$id" | grep -q '"Vantorel"' || echo "$id"
    done | grep -q .
}
xdotool mousemove $(((x0 + x1) / 2)) $(((y0 + y1) / 2)) click 3
wd_wait 10 menu_open || fail "no popup menu after a right click on the picture"
screenshot menu

# E&xit by its access key.
xdotool key x
deadline=$((SECONDS + 15))
while alive; do
    [ "$SECONDS" -lt "$deadline" ] || fail "the meter still runs after Exit"
    sleep 0.2
done
status=0
wait "$meter_pid" || status=$?
meter_pid=
[ "$status" -eq 0 ] || fail "the meter ended with code $status after Exit"

wd_desktop_up || fail "the Wine desktop went away with the meter"
deadline=$((SECONDS + 10))
while :; do
    census gone
    [ $((green + yellow + red)) -eq 0 ] && break
    [ "$SECONDS" -lt "$deadline" ] || fail "the picture stays after Exit:" \
        "green=$green yellow=$yellow red=$red"
    sleep 0.3
done
wd_log "PASS"

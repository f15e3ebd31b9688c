#!/usr/bin/env bash
# The meter as a user sees it: in a Wine desktop with a taskbar, its picture in the
# notification area follows a client's State.SAH, the right button opens its menu, and "Exit"
# ends it with code 0 and takes the picture away.
# Usage: meter_e2e.sh path/to/Vantorel.exe
# VANTOREL_E2E_SHOTS=dir keeps the screenshots there.
set -euo pipefail

exe=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/e2e_steps.sh
. "$here/e2e_steps.sh"

e2e_setup 0.473000
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

e2e_exit_through_menu 15
wd_log "PASS"

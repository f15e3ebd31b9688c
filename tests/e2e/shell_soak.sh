#!/usr/bin/env bash
# 10,000 ticks against Wine's real notification area: the soak's meter in a Wine desktop with a
# taskbar, every icon change sent to the shell. The soak fails when a handle slot or the
# private bytes moved; here the dish must still be in the notification area at the end.
# Usage: shell_soak.sh path/to/soak.exe [ticks]
set -euo pipefail
soak=$(readlink -f "$1")
ticks=${2:-10000}
here=$(cd "$(dirname "$0")" && pwd)
WD_DESKTOP=soak WD_SIZE=800x600
# shellcheck source=tools/lib/wine-desktop.sh
. "$here/../../tools/lib/wine-desktop.sh"
finish() {
    local status=$?
    wd_cleanup
    exit "$status"
}
trap finish EXIT
fail() {
    wd_log "FAIL: $*"
    exit 1
}

wd_make_dir
wd_start_x 1024x768x24
wd_make_prefix
wd_start_desktop
# The soak holds its icon until its input ends: a pipe this script keeps open meanwhile.
mkfifo "$WD_DIR/hold"
wine "$soak" "$ticks" --real-shell <"$WD_DIR/hold" >"$WD_DIR/soak.log" 2>&1 &
soak_pid=$!
exec 3>"$WD_DIR/hold"
finished() { grep -q '^soak \(passed\|FAILED\)' "$WD_DIR/soak.log"; }
wd_wait 1500 finished || fail "the soak did not finish: $(tail -3 "$WD_DIR/soak.log")"
cat "$WD_DIR/soak.log"

tray=$(wd_tray_area) || fail "no taskbar in the Wine desktop"
import -window root "$WD_DIR/end.png"
read -r green yellow red x0 y0 x1 y1 < <(wd_dish_census "$WD_DIR/end.png" "$tray")
wd_log "after $ticks ticks: green=$green yellow=$yellow red=$red at $x0,$y0-$x1,$y1"
exec 3>&-
wait "$soak_pid" || fail "the soak failed"
[ $((green + yellow + red)) -gt 0 ] || fail "no dish in the notification area ($tray)"
if [ $((x1 - x0)) -ge 40 ] || [ $((y1 - y0)) -ge 40 ]; then
    fail "the dish colours cover $x0,$y0-$x1,$y1, more than one icon"
fi

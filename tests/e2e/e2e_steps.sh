# shellcheck shell=bash
# The steps the end-to-end tests share: the meter in a Wine desktop on its own X server, its
# picture read off screenshots of the notification area, and its end through the menu.
# Source it after setting exe (the meter) and here (this folder); it traps EXIT, and runs
# e2e_before_cleanup first where the test defines one.
# VANTOREL_E2E_SHOTS=dir keeps the screenshots there.

: "${exe:?}" "${here:?}"
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
    if declare -F e2e_before_cleanup >/dev/null; then
        e2e_before_cleanup
    fi
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

# X, a prefix and a client folder with its first state; the settings are the test's to make.
e2e_setup() {
    wd_make_dir
    wd_start_x 1024x768x24
    wd_make_prefix
    client="$WD_DIR/client"
    mkdir -p "$client"
    write_state "$1"
}

# Starts the desktop and the meter and waits for the taskbar: sets meter_pid and tray.
e2e_start_meter() {
    wd_start_desktop
    wine "$exe" >"$WD_DIR/meter.log" 2>&1 &
    meter_pid=$!
    tray=
    for _ in $(seq 150); do
        alive || fail "the meter ended on its own"
        tray=$(wd_tray_area || true)
        [ -z "$tray" ] || return 0
        sleep 0.2
    done
    fail "no taskbar in the Wine desktop"
}

# The right button on the middle of the picture opens the menu, a window of the meter's own.
menu_window() {
    xdotool search --onlyvisible --classname 'vantorel.exe' 2>/dev/null | while read -r id; do
        xwininfo -id "$id" | grep -q '"Vantorel"' || echo "$id"
    done | head -n 1
}
menu_open() { [ -n "$(menu_window)" ]; }

# Each thread's state letter and kernel wait channel, to tell where a process hangs.
thread_states() {
    local task
    for task in /proc/"$meter_pid"/task/*; do
        printf '%s/%s ' "$(sed 's/.*) //; s/ .*//' "$task/stat" 2>/dev/null)" \
            "$(cat "$task/wchan" 2>/dev/null)"
    done
}

# "E&xit" from the menu of the picture at the last census's box ends the meter with code 0
# within the given seconds and takes the picture away; the desktop stays. The item is taken
# by its access key, or with "click" by the mouse: keys go astray in a desktop where another
# program has run since the meter started.
e2e_exit_through_menu() {
    local limit=$1 how=${2:-key} start
    xdotool mousemove $(((x0 + x1) / 2)) $(((y0 + y1) / 2)) click 3
    wd_wait 10 menu_open || fail "no popup menu after a right click on the picture"
    screenshot menu

    start=$SECONDS
    if [ "$how" = click ]; then
        # "E&xit" is the last item, the menu's bottom row.
        local x y w h
        read -r x y w h < <(xwininfo -id "$(menu_window)" | awk '
            /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
            /Width:/ { w = $NF } /Height:/ { h = $NF } END { print x, y, w, h }')
        xdotool mousemove $((x + w / 2)) $((y + h - 10)) click 1
    else
        xdotool key x
    fi
    while alive; do
        [ $((SECONDS - start)) -lt "$limit" ] ||
            fail "the meter still runs ${limit} s after Exit; its threads: $(thread_states)"
        sleep 0.2
    done
    wd_log "the meter ended $((SECONDS - start)) s after Exit"
    local status=0
    wait "$meter_pid" || status=$?
    meter_pid=
    [ "$status" -eq 0 ] || fail "the meter ended with code $status after Exit"

    wd_desktop_up || fail "the Wine desktop went away with the meter"
    local deadline=$((SECONDS + 10))
    while :; do
        census gone
        [ $((green + yellow + red)) -eq 0 ] && break
        [ "$SECONDS" -lt "$deadline" ] || fail "the picture stays after Exit:" \
            "green=$green yellow=$yellow red=$red"
        sleep 0.3
    done
}

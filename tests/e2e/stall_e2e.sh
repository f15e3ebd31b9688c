#!/usr/bin/env bash
# The meter with client folders on machines that have gone away (a FUSE folder whose every
# look-up hangs) and behind a slow link (a FUSE folder whose every open takes seconds), in a
# Wine desktop:
# - its windows answer within 100 ms throughout;
# - with the second and third folders hanging, the first client's full picture shows on
#   schedule;
# - a slow second folder is shown once it answers, and stays shown, at an interval of 1 s and
#   of 5 s;
# - a good folder typed key by key over a path into a dead share, whose half-typed texts the
#   ticks read and which all hang, is shown within 2 s, five times over;
# - once that share's hangs have ended, it is back to a thread per client;
# - "Exit" ends it at once with code 0 and takes the picture away while a look-up still hangs.
# Usage: stall_e2e.sh path/to/Vantorel.exe path/to/meter_prober.exe
# Skips (exit code 77) without /dev/fuse, fusermount3 or python3's fusepy.
set -euo pipefail

exe=$(readlink -f "$1")
prober=$(readlink -f "$2")
here=$(cd "$(dirname "$0")" && pwd)
# A look-up hangs 45 s, and Wine's open makes a second when the first fails: the read that is
# out at Exit, begun a few seconds before, has more than half a minute to go.
stall_seconds=${VANTOREL_STALL_SECONDS:-45}
# A share that answers, but only after this long: longer than a round waits.
slow_seconds=2.5
# The dead share that paths are typed into: its look-ups hang as long as in the case that was
# reported, longer than the typing.
typed_stall_seconds=25
watch_seconds=125
# The window thread and one per client.
idle_threads=4
# The options window's controls, by command id.
path2_id=102
path3_id=103
interval_id=104
save_id=107

skip() {
    echo "${0##*/}: SKIP: $*" >&2
    exit 77
}
if ! [ -c /dev/fuse ] || ! [ -r /dev/fuse ] || ! [ -w /dev/fuse ]; then
    skip "no usable /dev/fuse"
fi
command -v fusermount3 >/dev/null || skip "no fusermount3 (Debian: fuse3)"
python=
for candidate in python3 /usr/bin/python3; do
    if "$candidate" -c 'import fusepy' 2>/dev/null; then
        python=$candidate
        break
    fi
done
[ -n "$python" ] || skip "no python3 with fusepy (Debian: python3-fusepy)"

# shellcheck source=tests/e2e/e2e_steps.sh
. "$here/e2e_steps.sh"

dead_root=
dead=
dead_pid=
slow=
slow_pid=
typed=
typed_pid=
# Down before anything else goes: a pending look-up would hang whatever walks the folder.
unmount() {
    local folder=${1:-} pid=${2:-}
    if [ -n "$folder" ] && grep -qF " $folder " /proc/self/mountinfo; then
        fusermount3 -u "$folder" 2>/dev/null || fusermount3 -u -z "$folder" ||
            wd_log "could not unmount $folder"
    fi
    if [ -n "$pid" ]; then
        # Its end fails whatever look-up is still pending.
        kill "$pid" 2>/dev/null || true
        wd_wait 5 gone "$pid" || kill -9 "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
}
e2e_before_cleanup() {
    unmount "$dead" "$dead_pid"
    unmount "$slow" "$slow_pid"
    unmount "$typed" "$typed_pid"
    local log
    for log in dead slow typed; do
        if [ -n "$WD_DIR" ] && [ -s "$WD_DIR/$log-folder.log" ]; then
            wd_log "what the $log folder saw:"
            cat "$WD_DIR/$log-folder.log" >&2
        fi
    done
    if [ -n "$dead_root" ]; then
        rmdir "$dead" "$slow" "$typed" "$dead_root" 2>/dev/null || wd_log "left $dead_root behind"
    fi
}

gone() { ! kill -0 "$1" 2>/dev/null; }
dead_gone() { gone "$dead_pid"; }

problems=0
problem() {
    wd_log "FAIL: $*"
    problems=$((problems + 1))
}

e2e_setup 1.000000
dead_root=$(mktemp -d "${TMPDIR:-/tmp}/vantorel-dead.XXXXXX")
dead="$dead_root/dead"
slow="$dead_root/slow"
typed="$dead_root/typed"
mkdir "$dead" "$slow" "$typed"
mounted() { grep -qF " $1 " /proc/self/mountinfo; }
# Mounts the folder NAME under dead_root: mount_folder NAME dead_folder.py's ARGS...; its
# process is NAME_pid and its log NAME-folder.log.
mount_folder() {
    local name=$1
    shift
    "$python" "$here/dead_folder.py" "$dead_root/$name" "$@" >>"$WD_DIR/$name-folder.log" 2>&1 &
    printf -v "${name}_pid" '%s' "$!"
    wd_wait 10 mounted "$dead_root/$name" ||
        fail "the $name folder did not mount: $(cat "$WD_DIR/$name-folder.log")"
}
mount_folder dead "$stall_seconds"
mount_folder slow "$slow_seconds" --slow $'prog=1.000000\n'
mount_folder typed "$typed_stall_seconds"
mended="$WD_DIR/mended"
mkdir "$mended"
printf 'prog=1.000000\n' >"$mended/State.SAH"

wd_set_meter_settings "$(winepath -w "$client")" 1
wd_reg "$WD_SETTINGS_KEY" /v Path2 /t REG_SZ /d "$(winepath -w "$dead")"
wd_reg "$WD_SETTINGS_KEY" /v Path3 /t REG_SZ /d "$(winepath -w "$dead")"
e2e_start_meter

# Windows that answer, watched through the typing.
wine "$prober" answers $((watch_seconds - 5)) >"$WD_DIR/answers.log" 2>&1 &
prober_pid=$!

# From Dish0 at start to the first client's full picture (Dish6, no green left), though the
# other clients' reads never return: a tick's result waits at most a second for them.
shown=
deadline=$((SECONDS + 30))
while :; do
    alive || fail "the meter ended on its own"
    census start
    if [ -z "$shown" ] && [ $((green + yellow + red)) -gt 0 ]; then
        shown=$SECONDS
    fi
    [ "$red" -gt 0 ] && [ "$green" -eq 0 ] && break
    if [ "$SECONDS" -ge "$deadline" ]; then
        problem "no full picture within 30 s: green=$green yellow=$yellow red=$red"
        break
    fi
    sleep 0.3
done
if [ -n "$shown" ] && [ "$red" -gt 0 ] && [ "$green" -eq 0 ]; then
    wd_log "full picture $((SECONDS - shown)) s after the first"
    [ $((SECONDS - shown)) -le 6 ] || problem "the full picture came late"
fi

type_into() {
    wine "$prober" type "$1" "$2" >>"$WD_DIR/prober.log" 2>&1 || problem "could not type into $1"
}
red_shown() {
    census "$1"
    [ "$red" -gt 0 ]
}

# The first client at 0 and the slow folder's finished unit: the dish is half red once the
# slow folder has answered, all green while it is left out. After its first answer it must
# stay shown, whatever the interval.
write_state 0.000000
type_into "$path2_id" "$(winepath -w "$slow")"
slow_left_out() { ! red_shown slow-not-yet; }
wd_wait 5 slow_left_out || problem "the first client's new state was not shown within 5 s"
slow_shown() { red_shown slow-first; }
wd_wait 15 slow_shown || problem "the slow folder was not shown within 15 s"
for interval in 1 5; do
    if [ "$interval" != 1 ]; then
        type_into "$interval_id" "$interval"
        wine "$prober" press "$save_id" >>"$WD_DIR/prober.log" 2>&1 || problem "could not save"
    fi
    count=0
    for n in $(seq 10); do
        sleep 2
        if red_shown "slow-$interval-$n"; then
            count=$((count + 1))
        fi
    done
    wd_log "interval $interval s: the slow folder in $count of 10 screenshots 2 s apart"
    [ "$count" -eq 10 ] || problem "the slow folder dropped out at an interval of $interval s"
done
type_into "$interval_id" 1
wine "$prober" press "$save_id" >>"$WD_DIR/prober.log" 2>&1 || problem "could not save"

# The options window as a user opens it, a double-click on the dish, and Path 2 typed into
# key by key, 120 ms apart: a path into the dead share, then the good folder over it. The
# third client is left out meanwhile: a round waits a tick for a client that hangs, and the
# good folder must show within 2 s of its last key however the ticks fall.
type_into "$path3_id" ""
census open
xdotool mousemove $(((x0 + x1) / 2)) $(((y0 + y1) / 2)) click --repeat 2 --delay 80 1
options_shown() { xdotool search --onlyvisible --name '^Vantorel$' >/dev/null 2>&1; }
wd_wait 5 options_shown || problem "a double-click on the dish did not show the options window"
read -r px py < <(wine "$prober" where "$path2_id" | tr -d '\r')
key_into_path2() {
    xdotool mousemove "$px" "$py" click 1
    sleep 0.2
    xdotool key End shift+Home
    sleep 0.2
    xdotool type --delay 120 "$1"
}
now_ms() { date +%s%3N; }
count_threads() {
    threads=$(wine "$prober" threads | tr -d '\r' || true)
    threads=${threads#threads: }
    [[ "$threads" =~ ^[0-9]+$ ]] || threads=999
}
shown=0
for run in 1 2 3 4 5; do
    key_into_path2 "$(winepath -w "$typed")\seti\client1"
    sleep 1.5
    census "typed-dead-$run"
    [ "$red" -eq 0 ] || problem "run $run: the dead share shows a value"
    key_into_path2 "$(winepath -w "$mended")"
    typed_at=$(now_ms)
    until red_shown "typed-good-$run" || [ $(($(now_ms) - typed_at)) -gt 2000 ]; do :; done
    took=$(($(now_ms) - typed_at))
    wd_log "run $run: red=$red ${took} ms after the good folder's last key"
    if [ "$red" -gt 0 ] && [ "$took" -le 2000 ]; then
        shown=$((shown + 1))
    fi
done
count_threads
wd_log "the good folder shown within 2 s in $shown of 5 runs; $threads threads"
[ "$shown" -eq 5 ] || problem "a good folder typed over the dead share was not shown within 2 s"
# Both shares go down for good: every look-up still out there fails.
unmount "$typed" "$typed_pid"
unmount "$dead" "$dead_pid"
typed_pid=
dead_pid=
hangs_ended=$SECONDS

one_per_client() {
    count_threads
    [ "$threads" -le "$idle_threads" ]
}
if wd_wait 60 one_per_client; then
    wd_log "back to $threads threads $((SECONDS - hangs_ended)) s after the dead share's hangs ended"
else
    problem "still $threads threads 60 s after the dead share's hangs ended: $(thread_states)"
fi
# The dead share is back, as dead as before, and "Exit" comes while a look-up there hangs.
hung() { [ "$(grep -c ' hangs$' "$WD_DIR/dead-folder.log")" -gt "$1" ]; }
hangs=$(grep -c ' hangs$' "$WD_DIR/dead-folder.log" || true)
mount_folder dead "$stall_seconds"
type_into "$path3_id" "$(winepath -w "$dead")"
wd_wait 10 hung "$hangs" || problem "no look-up hangs in the dead share before Exit"

status=0
wait "$prober_pid" || status=$?
answers=$(tr -d '\r' <"$WD_DIR/answers.log")
wd_log "answers: ${answers##*$'\n'}"
[ "$status" -eq 0 ] || problem "the meter's windows did not all answer within 100 ms:" \
    "$(head -n 5 <<<"$answers")"

alive || fail "the meter ended on its own"
census "before-exit"
[ "$x0" -ge 0 ] || fail "no picture to right-click"
e2e_exit_through_menu 10 click
if ! mounted "$dead" || dead_gone; then
    fail "the folder was gone before Exit"
fi
[ "$problems" -eq 0 ] || fail "$problems of the checks above failed"
wd_log "PASS"

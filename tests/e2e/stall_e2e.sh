#!/usr/bin/env bash
# The meter with its second client folder on a machine that has gone away (a FUSE folder whose
# every look-up hangs), in a Wine desktop: its windows answer within 100 ms throughout, the
# first client's full picture shows on schedule, its thread count stays small, and "Exit"
# ends it at once with code 0 and takes the picture away while the look-up still hangs.
# Usage: stall_e2e.sh path/to/Vantorel.exe path/to/meter_prober.exe
# Skips (exit code 77) without /dev/fuse, fusermount3 or python3's fusepy.
set -euo pipefail

exe=$(readlink -f "$1")
prober=$(readlink -f "$2")
here=$(cd "$(dirname "$0")" && pwd)
# A look-up hangs 45 s, and Wine's open makes a second when the first fails: the read that is
# out at Exit, a minute in, has half a minute or more to go.
stall_seconds=${VANTOREL_STALL_SECONDS:-45}
watch_seconds=60
max_threads=12

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
# Down before anything else goes: a pending look-up would hang whatever walks the folder.
e2e_before_cleanup() {
    if [ -n "$dead" ] && grep -qF " $dead " /proc/self/mountinfo; then
        fusermount3 -u "$dead" 2>/dev/null || fusermount3 -u -z "$dead" ||
            wd_log "could not unmount $dead"
    fi
    if [ -n "$dead_pid" ]; then
        # Its end fails whatever look-up is still pending.
        kill "$dead_pid" 2>/dev/null || true
        wd_wait 5 dead_gone || kill -9 "$dead_pid" 2>/dev/null || true
        wait "$dead_pid" 2>/dev/null || true
    fi
    if [ -n "$WD_DIR" ] && [ -s "$WD_DIR/dead_folder.log" ]; then
        wd_log "what the hanging folder saw:"
        cat "$WD_DIR/dead_folder.log" >&2
    fi
    if [ -n "$dead_root" ]; then
        rmdir "$dead" "$dead_root" 2>/dev/null || wd_log "left $dead_root behind"
    fi
}

dead_gone() { ! kill -0 "$dead_pid" 2>/dev/null; }

problems=0
problem() {
    wd_log "FAIL: $*"
    problems=$((problems + 1))
}

e2e_setup 1.000000
dead_root=$(mktemp -d "${TMPDIR:-/tmp}/vantorel-dead.XXXXXX")
dead="$dead_root/share"
mkdir "$dead"
"$python" "$here/dead_folder.py" "$dead" "$stall_seconds" >"$WD_DIR/dead_folder.log" 2>&1 &
dead_pid=$!
mounted() { grep -qF " $dead " /proc/self/mountinfo; }
wd_wait 10 mounted || fail "the hanging folder did not mount: $(cat "$WD_DIR/dead_folder.log")"

wd_set_meter_settings "$(winepath -w "$client")" 1
wd_reg "$WD_SETTINGS_KEY" /v Path2 /t REG_SZ /d "$(winepath -w "$dead")"
e2e_start_meter
started=$SECONDS

# Windows that answer, watched until the thread count is taken.
wine "$prober" answers $((watch_seconds - 5)) >"$WD_DIR/answers.log" 2>&1 &
prober_pid=$!

# From Dish0 at start to the first client's full picture (Dish6, no green left), though the
# second client's read never returns: a tick's result waits at most a second for it.
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

status=0
wait "$prober_pid" || status=$?
answers=$(tr -d '\r' <"$WD_DIR/answers.log")
wd_log "answers: ${answers##*$'\n'}"
[ "$status" -eq 0 ] || problem "the meter's windows did not all answer within 100 ms:" \
    "$(head -n 5 <<<"$answers")"

while [ $((SECONDS - started)) -lt "$watch_seconds" ]; do
    sleep 1
done
threads=$(wine "$prober" threads | tr -d '\r' || true)
wd_log "after ${watch_seconds} s of a hanging folder: $threads"
count=${threads#threads: }
if ! [[ "$count" =~ ^[0-9]+$ ]] || [ "$count" -gt "$max_threads" ]; then
    problem "the thread count is not small: $threads"
fi

alive || fail "the meter ended on its own"
census "before-exit"
[ "$x0" -ge 0 ] || fail "no picture to right-click"
e2e_exit_through_menu 10 click
if ! mounted || dead_gone; then
    fail "the folder was gone before Exit"
fi
[ "$problems" -eq 0 ] || fail "$problems of the checks above failed"
wd_log "PASS"

#!/usr/bin/env bash
# The Windows test kit is whole: unpacked into an empty folder far from the source tree, on a
# fresh Wine prefix that sees no Linux path at all (no Z: drive), `cmd /c run-tests.cmd`
# passes, writes a report with no failure, and leaves the registry and the prefix's files as
# they were, a user's stored folders included. In a console of its own, as a double-click
# opens it, the report waits for a key. A kit with a program cut short fails.
# Usage: check_windows_kit.sh ZIP
set -euo pipefail
zip=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tools/lib/wine-desktop.sh
. "$here/../../tools/lib/wine-desktop.sh"
trap wd_cleanup EXIT

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

wd_make_dir
wd_start_x 1024x768x24
export WINEPREFIX="$WD_DIR/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
wineserver -p
wineboot -i >/dev/null 2>&1 || true
wd_add_wine_fonts
# As tools/test does: no window manager, so unmanaged windows.
wd_reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d N
# The PC: drive C: and D:, which holds the kit, and nothing of the Linux file system.
pc="$WD_DIR/pc"
mkdir -p "$pc"
rm -f "$WINEPREFIX/dosdevices/z:"
ln -s "$pc" "$WINEPREFIX/dosdevices/d:"
# A user's stored folders, which the run must leave alone.
wd_set_meter_settings 'C:\seti\one' 7
wd_reg "$WD_SETTINGS_KEY" /v Path2 /d 'D:\two'

# Everything of the prefix a run could change: the user's registry and the files of C:.
snapshot() {
    wine reg export HKCU 'D:\hkcu.reg' /y >/dev/null 2>&1 || fail "reg export"
    # Less Wine's own keys, which Wine changes whatever runs.
    iconv -f UTF-16LE -t UTF-8 "$pc/hkcu.reg" | tr -d '\r' |
        awk '/^\[/ { wine = index($0, "[HKEY_CURRENT_USER\\Software\\Wine\\") == 1 } !wine'
    rm -f "$pc/hkcu.reg"
    (cd "$WINEPREFIX/drive_c" && find . -path './users/*/Temp' -prune -o -print | sort)
}

# Runs the kit unpacked in D:\NAME; gives cmd's exit status.
run_kit() {
    rm -rf "${pc:?}/$1"
    mkdir -p "$pc/$1"
    unzip -q "$zip" -d "$pc/$1"
    local kit
    kit=$(echo "$pc/$1"/*)
    [ -n "${2:-}" ] && "$2" "$kit"
    (cd "$kit" && wine cmd /c run-tests.cmd </dev/null) || return $?
}

before=$(snapshot)
started=$SECONDS
status=0
run_kit whole || status=$?
file="$pc/whole/Vantorel-tests-win64/report.txt"
[ -f "$file" ] || fail "no report.txt beside run-tests.cmd"
report=$(tr -d '\r' <"$file")
echo "(the kit ran in $((SECONDS - started)) s)"
[ "$status" -eq 0 ] || fail "run-tests.cmd ended with exit status $status"
if grep -E '[1-9][0-9]* failed|^Failed' <<<"$report"; then
    fail "the report has a failed line"
fi
grep -q '^Everything passed' <<<"$report" || fail "the report does not say that everything passed"
for program in core_tests tool_tests tray_tests options_tests about_tests leak_tests fault_tests; do
    grep -q "^$program: [1-9][0-9]* passed, 0 failed" <<<"$report" || fail "no passed line for $program"
done
after=$(snapshot)
diff <(echo "$before") <(echo "$after") || fail "the run changed the registry or drive C:"
unexpected=$(cd "$pc/whole/Vantorel-tests-win64" && find . -type f | sort |
    grep -Ev '^\./(bin/[a-z_A-Z-]+\.exe|run-tests\.cmd|README\.TXT|report\.txt|results/[a-z_]+\.(xml|log|exit))$' || true)
[ -z "$unexpected" ] || fail "the run left files in its folder that it should not have: $unexpected"

# A double-click gives cmd a console of its own, which must stay open on the report until a
# key is pressed.
kit="$pc/whole/Vantorel-tests-win64"
rm "$kit/report.txt"
(cd "$kit" && exec wine wineconsole cmd /c 'bin\kit-report.exe report core_tests') >/dev/null 2>&1 &
console=$!
wd_wait 30 test -f "$kit/report.txt" || fail "no report from a console of its own"
sleep 2
kill -0 "$console" 2>/dev/null || fail "the console closed without waiting for a key"
xdotool key space
wd_wait 10 eval '! kill -0 $console 2>/dev/null' || fail "a key did not close the console"
echo "in a console of its own, the report waited for a key"

# Cut short: the probe, which tool_tests starts, and a test program.
cut_short() {
    truncate -s 4096 "$1/bin/vantorel-probe.exe" "$1/bin/about_tests.exe"
}
status=0
run_kit cut cut_short >/dev/null 2>&1 || status=$?
report=$(tr -d '\r' <"$pc/cut/Vantorel-tests-win64/report.txt")
echo "with two programs cut short: exit status $status"
sed -n '/^Failed:/,/^$/p' <<<"$report"
[ "$status" -ne 0 ] || fail "a kit with a program cut short passed"
grep -q '^about_tests: 0 passed, 1 failed' <<<"$report" || fail "about_tests is not failed"
grep -q '^  tool_tests: Probe\.PrintsOnePollInFiveLines$' <<<"$report" ||
    fail "the probe's test is not named among the failed"
echo "the kit is whole"

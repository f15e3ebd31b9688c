#!/usr/bin/env bash
# The release zip holds exactly the stripped 64-bit program and README.TXT with Windows line
# ends, dated from the commit, and SHA256SUMS beside it names it.
# Usage: check_release.sh OBJDUMP ZIP SOURCE_DIR
set -euo pipefail
objdump=$1
zip=$2
source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

entries=$(cd "$work" && cmake -E tar tf "$zip" | tr '\n' ' ')
[ "$entries" = "Vantorel.exe README.TXT " ] || { echo "zip holds: $entries" >&2; exit 1; }
(cd "$(dirname "$zip")" && sha256sum --quiet -c SHA256SUMS)
# Each entry's time, yyyymmdd.hhmmss, against the commit's (zip keeps even seconds).
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$source" log -1 --format=%ct)}
stamps=$(zipinfo -T "$zip" | grep -oE ' [0-9]{8}\.[0-9]{6} ' || true)
[ "$(wc -w <<<"$stamps")" = 2 ] || { echo "zipinfo shows no dates: $stamps" >&2; exit 1; }
for stamp in $stamps; do
    t=$(date -u -d "${stamp:0:8} ${stamp:9:2}:${stamp:11:2}:${stamp:13:2}" +%s)
    [ "$t" -ge "$epoch" ] && [ "$t" -le $((epoch + 1)) ] || {
        echo "an entry is dated $stamp, not from the commit ($(date -u -d "@$epoch"))" >&2
        exit 1
    }
done
(cd "$work" && cmake -E tar xf "$zip")

format=$("$objdump" -f "$work/Vantorel.exe" | sed -n 's/.*file format //p')
[ "$format" = "pei-x86-64" ] || { echo "program format: $format" >&2; exit 1; }
if "$objdump" -h "$work/Vantorel.exe" | grep -q '\.debug'; then
    echo "the program still carries debug sections" >&2; exit 1
fi
if "$objdump" -t "$work/Vantorel.exe" | grep -q '^\['; then
    echo "the program still carries its symbol table" >&2; exit 1
fi
# Windows reads the manifest only as resource type 24, id 1, and the header must not claim XP.
manifest=$(wrestool -x --raw --type=24 --name=1 "$work/Vantorel.exe" | tr -d '\r')
grep -q 'name="Microsoft.Windows.Common-Controls"' <<<"$manifest" ||
    { echo "no manifest of type 24, id 1: $(wrestool -l "$work/Vantorel.exe" | head -n 3)" >&2; exit 1; }
subsystem=$("$objdump" -p "$work/Vantorel.exe" | awk '/^M(aj|in)orSubsystemVersion/ { v = v $2 "." }
    END { print substr(v, 1, length(v) - 1) }')
[ "$subsystem" = "6.1" ] || { echo "subsystem version $subsystem, not 6.1 (Windows 7)" >&2; exit 1; }
traits=0x$("$objdump" -p "$work/Vantorel.exe" | awk '/^DllCharacteristics/ { print $2 }')
[ $((traits & 0x8000)) != 0 ] || { echo "not Terminal Server aware (0x8000): $traits" >&2; exit 1; }

readme="$work/README.TXT"
lines=$(wc -l <"$readme")
crlf=$(grep -c $'\r$' "$readme" || true)
[ "$lines" -gt 0 ] && [ "$lines" = "$crlf" ] || {
    echo "README.TXT: $crlf of $lines lines end in CR LF" >&2; exit 1; }
if LC_ALL=C grep -q '[^[:print:][:space:]]' "$readme"; then
    echo "README.TXT is not plain text" >&2; exit 1
fi
# The budget of the program: its code takes under 100 KB, its pictures the rest. Far more
# means the C++ runtime's exception and formatting machinery came back in.
size=$(stat -c %s "$work/Vantorel.exe")
[ "$size" -le $((150 * 1024)) ] || { echo "Vantorel.exe is $size bytes, over 150 KB" >&2; exit 1; }
echo "release: $size byte program, README.TXT of $lines lines"

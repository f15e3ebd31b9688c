#!/usr/bin/env bash
# The program must need nothing but Windows' own DLLs: its import table names only these.
# comctl32 is not among them: it is loaded when the first control needs it, after the icon.
set -euo pipefail
objdump=$1
exe=$2
allowed="ADVAPI32.dll GDI32.dll KERNEL32.dll msvcrt.dll SHELL32.dll USER32.dll"
imports=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p')
[ -n "$imports" ] || { echo "no import table read from $exe"; exit 1; }
status=0
for dll in $imports; do
    case " $allowed " in
        *" $dll "*) echo "ok: $dll" ;;
        *) echo "not a system DLL: $dll"; status=1 ;;
    esac
done
for needed in SHELL32.dll USER32.dll; do
    grep -qx "$needed" <<<"$imports" || { echo "missing $needed: is this the meter?"; status=1; }
done
exit $status

#!/usr/bin/env bash
# Runs a Windows test program in a Wine prefix of its own whose display is at the given DPI, on
# a private X server: what the shared test prefix, at 96 DPI, cannot show.
# Usage: run_at_dpi.sh DPI PROGRAM [ARGUMENT]...
set -euo pipefail
dpi=$1
program=$(readlink -f "$2")
shift 2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tools/lib/wine-desktop.sh
. "$here/../../tools/lib/wine-desktop.sh"
trap wd_cleanup EXIT

wd_make_dir
wd_start_x 1024x768x24
wd_make_prefix
# Set before the server goes down, so that the new one starts with it.
wd_set_dpi "$dpi"
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
wineserver -p
wine "$program" "$@"

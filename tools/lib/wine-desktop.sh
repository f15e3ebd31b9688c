# shellcheck shell=bash
# Shared by tools/demo, tools/screenshots and the end-to-end test: a private X server, a
# throwaway Wine prefix with a virtual desktop that has a taskbar, the meter's settings, and
# reading the meter's picture off a screenshot. Source it; call wd_cleanup when done (the
# callers trap EXIT).

WD_SETTINGS_KEY='HKCU\Software\VB and VBA Program Settings\Vantorel\Settings'
WD_DESKTOP=${WD_DESKTOP:-Vantorel}
WD_SIZE=${WD_SIZE:-800x600}
WD_XVFB_PID=
WD_DIR=

wd_log() { printf '%s: %s\n' "${0##*/}" "$*" >&2; }

# Polls a command until it succeeds: wd_wait SECONDS COMMAND...
wd_wait() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}

# A scratch folder that wd_cleanup removes; sets WD_DIR.
wd_make_dir() {
    WD_DIR=$(mktemp -d "${TMPDIR:-/tmp}/vantorel-desktop.XXXXXX")
}

# Own X server on a free display number, so nothing else on the machine is disturbed.
wd_start_x() {
    local screen=${1:-1024x768x24} fd_file="$WD_DIR/display"
    : >"$fd_file"
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$fd_file" >"$WD_DIR/xvfb.log" 2>&1 &
    WD_XVFB_PID=$!
    wd_wait 20 test -s "$fd_file" || { wd_log "Xvfb did not start"; return 1; }
    DISPLAY=":$(tr -d '[:space:]' <"$fd_file")"
    export DISPLAY
}

# A new prefix on a persistent Wine server (a server that wineboot starts quits when the
# prefix falls idle, and the next program then waits seconds for a new one).
wd_make_prefix() {
    export WINEPREFIX="$WD_DIR/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    mkdir -p "$WINEPREFIX"
    wineserver -p
    wineboot -i >/dev/null 2>&1 || true
    wd_add_wine_fonts
    # Every program of this prefix runs in the one virtual desktop, whose explorer draws the
    # taskbar and its notification area.
    wd_reg 'HKCU\Software\Wine\Explorer' /v Desktop /d "$WD_DESKTOP"
    wd_reg 'HKCU\Software\Wine\Explorer\Desktops' /v "$WD_DESKTOP" /d "$WD_SIZE"
}

# Wine's own fonts (Tahoma for the dialog font, Marlett for the caption buttons) from the
# package fonts-wine, or from VANTOREL_WINE_FONTS. Wine does not look in the package's folder
# by itself, so they go into the prefix; without them it stands in other faces.
wd_add_wine_fonts() {
    local dir=${VANTOREL_WINE_FONTS:-/usr/share/wine/fonts}
    if compgen -G "$dir/*.ttf" >/dev/null; then
        cp "$dir"/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    else
        echo "note: no Wine fonts in $dir (Debian: fonts-wine); Wine stands in other faces" >&2
    fi
}

wd_reg() {
    local key=$1
    shift
    wine reg add "$key" "$@" /f >/dev/null 2>&1 || { wd_log "reg add $key $* failed"; return 1; }
}

wd_set_dpi() {
    wd_reg 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1"
}

# Path1 and Interval; the other paths stay unset.
wd_set_meter_settings() {
    wd_reg "$WD_SETTINGS_KEY" /v Path1 /t REG_SZ /d "$1"
    wd_reg "$WD_SETTINGS_KEY" /v Interval /t REG_SZ /d "${2:-1}"
}

wd_desktop_up() {
    xwininfo -root -tree 2>/dev/null | grep -q "\"$WD_DESKTOP - Wine desktop\""
}

# Starts the desktop on its own, so that it outlives the meter and shows what is left after it.
wd_start_desktop() {
    wine explorer "/desktop=$WD_DESKTOP,$WD_SIZE" >/dev/null 2>&1 &
    wd_wait 30 wd_desktop_up || { wd_log "the Wine desktop did not come up"; return 1; }
}

# The taskbar's geometry "W H X Y": the explorer window that spans the bottom of the desktop.
wd_taskbar() {
    local width=${WD_SIZE%x*} height=${WD_SIZE#*x}
    xwininfo -root -tree 2>/dev/null | awk -v w="$width" -v h="$height" '
        /"explorer.exe"/ && match($0, /[0-9]+x[0-9]+\+[0-9]+\+[0-9]+/) {
            split(substr($0, RSTART, RLENGTH), g, /[x+]/)
            if (g[1] == w && g[2] < h / 4 && g[3] == 0 && g[4] + g[2] == h) {
                print g[1], g[2], g[3], g[4]; exit
            }
        }'
}

# The notification area: the right end of the taskbar, clear of the Start button and of any
# window buttons, which start at the left. Prints "W H X Y".
wd_tray_area() {
    local bar
    bar=$(wd_taskbar) || return 1
    [ -n "$bar" ] || return 1
    read -r bw bh bx by <<<"$bar"
    local tw=$((bw / 5))
    echo "$tw $bh $((bx + bw - tw)) $by"
}

# Counts the dish's colours in a region "W H X Y" of a screenshot: prints
# "green yellow red x0 y0 x1 y1", the bounding box (screen coordinates) of all of them, or
# "0 0 0 -1 -1 -1 -1".
wd_dish_census() {
    local shot=$1 w h x y
    read -r w h x y <<<"$2"
    convert "$shot" -crop "${w}x${h}+${x}+${y}" +repage -depth 8 txt:- | awk -v ox="$x" -v oy="$y" '
        NR == 1 { next }
        {
            split($1, p, /[,:]/)
            s = $2; gsub(/[()]/, "", s); split(s, c, ",")
            r = c[1] + 0; g = c[2] + 0; b = c[3] + 0; kind = ""
            if (r >= 100 && g <= 70 && b <= 70) kind = "red"
            else if (r >= 100 && g >= 100 && b <= 70 && (r - g < 60 && g - r < 60)) kind = "yellow"
            else if (g >= 100 && r <= 100 && b <= 100) kind = "green"
            if (kind == "") next
            n[kind]++
            px = p[1] + ox; py = p[2] + oy
            if (!found || px < x0) x0 = px; if (!found || px > x1) x1 = px
            if (!found || py < y0) y0 = py; if (!found || py > y1) y1 = py
            found = 1
        }
        END {
            if (!found) { x0 = y0 = x1 = y1 = -1 }
            print n["green"] + 0, n["yellow"] + 0, n["red"] + 0, x0, y0, x1, y1
        }'
}

wd_cleanup() {
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    if [ -n "$WD_XVFB_PID" ]; then
        kill "$WD_XVFB_PID" 2>/dev/null || true
        wait "$WD_XVFB_PID" 2>/dev/null || true
        WD_XVFB_PID=
    fi
    [ -z "$WD_DIR" ] || rm -rf "$WD_DIR"
    WD_DIR=
}

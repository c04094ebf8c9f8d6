#!/bin/sh
# start: make the project's Wine prefix if needed, start Xvfb and a persistent
#        wineserver for it, and record what we started.
# stop:  end exactly the processes that start recorded.
# env:   print the environment lines that run a program in the session.
set -eu
# Wine wants a home even where CI gives none.
export HOME="${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}"
ROOT=$(cd "$(dirname "$0")/.." && pwd)
# KELVARIN_WINE_DIR gives a separate prefix (and session) to runs that must not meet.
export WINEPREFIX="${KELVARIN_WINE_DIR:-$ROOT/build/wine}"
RUN="$WINEPREFIX-run"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$RUN"

display_alive() {
    [ -f "$RUN/xvfb.pid" ] && kill -0 "$(cat "$RUN/xvfb.pid")" 2>/dev/null
}

start_xvfb() {
    display_alive && return 0
    n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    echo $! >"$RUN/xvfb.pid"
    echo ":$n" >"$RUN/display"
    i=0
    while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
    if [ ! -e "/tmp/.X11-unix/X$n" ]; then
        echo "wine-session: Xvfb did not come up on :$n" >&2
        exit 1
    fi
}

case "${1:-}" in
start)
    start_xvfb
    export DISPLAY="$(cat "$RUN/display")"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine-session: creating the Wine prefix in $WINEPREFIX (once)"
        wineboot -i >/dev/null 2>&1 || true
        # No window manager runs under Xvfb: let Wine draw caption bars and frames itself.
        wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1 || true
        wineserver -w
    fi
    # Wine links the user's Desktop, Documents and the like to $HOME. The setup puts
    # links there, so they become plain folders of the prefix: nothing may land outside build/.
    for folder in "$WINEPREFIX"/drive_c/users/*/*; do
        if [ -L "$folder" ]; then
            rm -f "$folder" && mkdir -p "$folder"
        fi
    done
    # Wine draws the caption buttons with Marlett but does not find the copy it ships
    # in its data folder; one in the prefix's Fonts folder is found.
    marlett=/usr/share/wine/fonts/marlett.ttf
    if [ -f "$marlett" ] && [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ]; then
        cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
    fi
    # A server already running for this prefix refuses a second start; either way one is up.
    wineserver -p 2>/dev/null || true
    touch "$RUN/wineserver.started"
    ;;
stop)
    if [ -f "$RUN/wineserver.started" ]; then
        export DISPLAY="$(cat "$RUN/display" 2>/dev/null || echo :0)"
        wineserver -k >/dev/null 2>&1 || true
        rm -f "$RUN/wineserver.started"
    fi
    if display_alive; then
        kill "$(cat "$RUN/xvfb.pid")" 2>/dev/null || true
    fi
    rm -f "$RUN/xvfb.pid" "$RUN/display"
    ;;
env)
    # Quoted, so that `eval "export $(wine-session.sh env)"` keeps every value whole.
    display=$(cat "$RUN/display" 2>/dev/null) || {
        echo "wine-session: no session for $WINEPREFIX; run '$0 start' first" >&2
        exit 1
    }
    echo "HOME='$HOME' WINEPREFIX='$WINEPREFIX' WINEARCH='$WINEARCH' WINEDEBUG='$WINEDEBUG'" \
        "WINEDLLOVERRIDES='$WINEDLLOVERRIDES' DISPLAY='$display'"
    ;;
*)
    echo "usage: $0 start|stop|env" >&2
    exit 2
    ;;
esac

#!/bin/sh
# start: make the project's Wine prefix if needed, start Xvfb and a persistent
#        wineserver for it, and record what we started.
# stop:  end exactly the processes that start recorded, and only while they are
#        still the ones it started.
# env:   print the environment lines that run a program in the session.
set -eu
# Wine wants a home even where CI gives none.
export HOME="${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}"
ROOT=$(cd "$(dirname "$0")/.." && pwd)
# KELVARIN_WINE_DIR gives a separate prefix (and session) to runs that must not meet.
export WINEPREFIX="${KELVARIN_WINE_DIR:-$ROOT/build/wine}"
RUN="$WINEPREFIX-run"
# A new prefix as wineboot made it, never run in: new prefixes are copies of it.
PRISTINE="$ROOT/build/wine-pristine"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$RUN"

# A process is identified by its PID together with its start time, so that a PID the
# system has given to another process since is never taken for ours.
identity() {
    [ -r "/proc/$1/stat" ] || return 1
    # The command name in field 2 may hold blanks; the fields after ") " are fixed.
    sed 's/^.*) //' "/proc/$1/stat" | cut -d' ' -f20
}

# record NAME PID: remember a process we started.
record() {
    echo "$2 $(identity "$2")" >"$RUN/$1.started"
}

# ours NAME PROGRAM: true (printing its PID) while the recorded process still runs
# as the one we started, running PROGRAM.
ours() {
    [ -f "$RUN/$1.started" ] || return 1
    read -r pid started <"$RUN/$1.started" || return 1
    [ "$(identity "$pid" 2>/dev/null)" = "$started" ] || return 1
    tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q "$2" || return 1
    echo "$pid"
}

start_xvfb() {
    if ours xvfb Xvfb >/dev/null && [ -s "$RUN/display" ]; then
        return 0
    fi
    rm -f "$RUN/xvfb.started" "$RUN/display"
    # Xvfb picks a free display itself and names it once it listens, so two runs
    # starting at once never take the same one.
    : >"$RUN/display.fd"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$RUN/display.fd" >/dev/null 2>&1 &
    record xvfb $!
    i=0
    while [ ! -s "$RUN/display.fd" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    if [ ! -s "$RUN/display.fd" ]; then
        echo "wine-session: Xvfb did not come up" >&2
        exit 1
    fi
    echo ":$(head -n 1 "$RUN/display.fd")" >"$RUN/display"
    rm -f "$RUN/display.fd"
}

start_wineserver() {
    ours wineserver wineserver >/dev/null && return 0
    rm -f "$RUN/wineserver.started"
    # One server per prefix: a second one leaves at once when another (not ours) runs.
    setsid wineserver -p -f >/dev/null 2>&1 &
    pid=$!
    i=0
    while [ $i -lt 10 ] && kill -0 "$pid" 2>/dev/null; do sleep 0.1; i=$((i + 1)); done
    if kill -0 "$pid" 2>/dev/null && tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q wineserver; then
        record wineserver "$pid"
    fi
}

case "${1:-}" in
start)
    start_xvfb
    export DISPLAY="$(cat "$RUN/display")"
    if [ ! -f "$WINEPREFIX/system.reg" ] && [ -f "$PRISTINE/system.reg" ]; then
        # A copy of a new prefix takes a second or two; wineboot takes a quarter of a minute,
        # more where several tests make their prefixes at once.
        echo "wine-session: creating the Wine prefix in $WINEPREFIX (once, a copy)"
        # Whole or not at all: a copy cut short is never taken for a prefix.
        rm -rf "$WINEPREFIX.$$"
        cp -a "$PRISTINE" "$WINEPREFIX.$$"
        rm -rf "$WINEPREFIX"
        mv -T "$WINEPREFIX.$$" "$WINEPREFIX"
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine-session: creating the Wine prefix in $WINEPREFIX (once)"
        wineboot -i >/dev/null 2>&1 || true
        # No window manager runs under Xvfb: let Wine draw caption bars and frames itself.
        wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1 || true
        wineserver -w
        # Kept as it was made, for the prefixes made after it; the first of runs that make
        # theirs at once to finish keeps its own.
        if [ ! -d "$PRISTINE" ]; then
            cp -a "$WINEPREFIX" "$PRISTINE.$$"
            mv -T "$PRISTINE.$$" "$PRISTINE" 2>/dev/null || rm -rf "$PRISTINE.$$"
        fi
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
    start_wineserver
    ;;
stop)
    if ours wineserver wineserver >/dev/null; then
        # The prefix's server is the one we started: end it with the programs it runs.
        DISPLAY="$(cat "$RUN/display" 2>/dev/null || echo :0)" wineserver -k >/dev/null 2>&1 || true
    fi
    if pid=$(ours xvfb Xvfb); then
        kill "$pid" 2>/dev/null || true
    fi
    rm -f "$RUN/wineserver.started" "$RUN/xvfb.started" "$RUN/display"
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

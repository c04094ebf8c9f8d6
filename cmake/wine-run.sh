#!/bin/sh
# ctest's emulator for the Windows tree: runs one Windows program in the
# project's Wine session. KELVARIN_WINVER (win98, winxp, win7, win10) makes
# the program see that Windows version, through Wine's per-program settings.
set -eu
# Wine wants a home even where CI gives none.
export HOME="${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}"
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/wine-session.sh" start
export WINEPREFIX="${KELVARIN_WINE_DIR:-$ROOT/build/wine}" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export DISPLAY="$(cat "$WINEPREFIX-run/display")"
exe="$1"
shift
name=$(basename "$exe")
case "$name" in *.exe) ;; *) name="$name.exe" ;; esac
if [ -n "${KELVARIN_WINVER:-}" ]; then
    wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$name" /v Version /d "$KELVARIN_WINVER" /f >/dev/null 2>&1
else
    wine reg delete "HKCU\\Software\\Wine\\AppDefaults\\$name" /v Version /f >/dev/null 2>&1 || true
fi
exec wine "$exe" "$@"

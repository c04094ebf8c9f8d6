#!/bin/sh
# ctest's emulator for the Windows tree: runs one Windows program in the
# project's Wine session. KELVARIN_WINVER (win98, winxp, win7, win10) makes
# the program see that Windows version, through Wine's per-program settings.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/wine-session.sh" start
environment=$("$ROOT/scripts/wine-session.sh" env)
eval "export $environment"
# Wine takes DLL overrides from the environment a program starts with, not from what a test
# sets later: a test that needs more (the planting test) names them in KELVARIN_DLL_OVERRIDES.
if [ -n "${KELVARIN_DLL_OVERRIDES:-}" ]; then
    export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$KELVARIN_DLL_OVERRIDES"
fi
exe="$1"
shift
name=$(basename "$exe")
case "$name" in *.exe) ;; *) name="$name.exe" ;; esac
key="HKCU\\Software\\Wine\\AppDefaults\\$name"
if [ -n "${KELVARIN_WINVER:-}" ]; then
    wine reg add "$key" /v Version /d "$KELVARIN_WINVER" /f >/dev/null 2>&1 || {
        echo "wine-run: cannot make $name see Windows version $KELVARIN_WINVER" >&2
        exit 1
    }
else
    wine reg delete "$key" /v Version /f >/dev/null 2>&1 || true
fi
exec wine "$exe" "$@"

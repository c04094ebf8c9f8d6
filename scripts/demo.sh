#!/bin/sh
# The main job: takes the Ardent medium's Setup.exe through an install under Wine
# (headless, on Xvfb), driven by the robot, prints what it did and keeps a picture
# of every window it met in build/demo/.
#   scripts/demo.sh                 robot-driven, Windows XP behaviour
#   scripts/demo.sh --win98         the same as the 9x family sees it
#   scripts/demo.sh --interactive   you click, on your own display ($DISPLAY)
#   scripts/demo.sh --brisk         the Brisk medium instead
set -eu
# Wine wants a home even where CI gives none.
export HOME="${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}"
ROOT=$(cd "$(dirname "$0")/.." && pwd)
EDITION=Ardent
WINVER=winxp
INTERACTIVE=0
for arg in "$@"; do
    case "$arg" in
    --interactive) INTERACTIVE=1 ;;
    --win98) WINVER=win98 ;;
    --win7) WINVER=win7 ;;
    --brisk) EDITION=Brisk ;;
    *) echo "usage: $0 [--interactive] [--win98|--win7] [--brisk]" >&2; exit 2 ;;
    esac
done

MEDIUM="$ROOT/build/medium/$EDITION"
ROBOT="$ROOT/build/win32/tests/robot/robot_demo.exe"
[ -f "$MEDIUM/Setup.exe" ] || { echo "demo: $MEDIUM/Setup.exe is missing; run make demo" >&2; exit 1; }

# The build signs the sample media as a vendor signs a release, with a throwaway
# certificate it made for the purpose (sample/CMakeLists.txt).
CA="$ROOT/build/win32/sample/signing/throwaway-ca.pem"
echo "The $EDITION medium's Setup.exe is signed with a throwaway certificate made for the"
echo "purpose by openssl; its authority, which nothing outside this build trusts, is $CA."
osslsigncode verify -CAfile "$CA" -in "$MEDIUM/Setup.exe" 2>&1 |
    awk '/Subject:/ && !seen++ || /Signature verification/ { sub(/^[ \t]*/, "  "); print }'

# The demo has a prefix of its own, so it never meets the tests' machine state.
export KELVARIN_WINE_DIR="$ROOT/build/wine-demo"
export WINEPREFIX="$KELVARIN_WINE_DIR" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

winpath() { echo "Z:$1" | sed 's|/|\\|g'; }

if [ "$INTERACTIVE" = 1 ]; then
    [ -n "${DISPLAY:-}" ] || { echo "demo: --interactive needs a display (\$DISPLAY)" >&2; exit 1; }
    [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
    # Keep the links the setup makes inside the prefix rather than in $HOME.
    for folder in "$WINEPREFIX"/drive_c/users/*/*; do
        if [ -L "$folder" ]; then rm -f "$folder" && mkdir -p "$folder"; fi
    done
    wine reg add "HKCU\\Software\\Wine\\AppDefaults\\Setup.exe" /v Version /d "$WINVER" /f >/dev/null 2>&1
    exec wine "$MEDIUM/Setup.exe"
fi

"$ROOT/scripts/wine-session.sh" start
trap '"$ROOT/scripts/wine-session.sh" stop' EXIT
export DISPLAY="$(cat "$KELVARIN_WINE_DIR-run/display")"

# Start from a machine without the product.
rm -rf "$WINEPREFIX/drive_c/Nimbus" "$WINEPREFIX/drive_c/windows/Pellmor Kelvarin" \
    "$WINEPREFIX/drive_c/windows/KELSETUP.EXE"
find "$WINEPREFIX/drive_c" \( -name Ardent.lnk -o -name Brisk.lnk \) -delete 2>/dev/null || true
for key in "Software\\Pellmor" "Software\\Pellmor Controls" \
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pellmor Kelvarin"; do
    wine reg delete "HKLM\\$key" /f >/dev/null 2>&1 || true
done

# A drive too small for the install, where root may mount one: the setup asks before it
# writes anything there. Taken down again however the demo ends.
SMALL="$ROOT/build/demo-small-drive"
SMALL_LETTER=""
take_down_small() {
    rm -f "$WINEPREFIX/dosdevices/s:"
    if grep -qF " $SMALL " /proc/mounts; then umount -l "$SMALL" || true; fi
    rmdir "$SMALL" 2>/dev/null || true
}
trap 'take_down_small; "$ROOT/scripts/wine-session.sh" stop' EXIT
take_down_small
if [ ! -e "$WINEPREFIX/dosdevices/s:" ] && mkdir -p "$SMALL" &&
    mount -t tmpfs -o size=640k tmpfs "$SMALL" 2>/dev/null; then
    ln -s "$SMALL" "$WINEPREFIX/dosdevices/s:"
    SMALL_LETTER="S:"
    echo "Drive S: holds 640 KB, too little for the install."
fi

# A file of the user's own, without version information, where the product puts
# one: the setup asks before it replaces it.
mkdir -p "$WINEPREFIX/drive_c/Nimbus/Documents"
printf 'My own notes\r\n' >"$WINEPREFIX/drive_c/Nimbus/Documents/Readme.txt"
touch -d '2020-01-02 03:04:05 UTC' "$WINEPREFIX/drive_c/Nimbus/Documents/Readme.txt"
echo "The machine already holds C:\\Nimbus\\Documents\\Readme.txt (no version information)."

OUT="$ROOT/build/demo"
rm -rf "$OUT"
mkdir -p "$OUT"
wine "$ROBOT" "$(winpath "$MEDIUM/Setup.exe")" "$(winpath "$OUT")" "$WINVER" $SMALL_LETTER

for bmp in "$OUT"/*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo "Pictures of the windows met: $OUT"
ls "$OUT"
if [ -f "$MEDIUM.iso" ]; then
    echo "The medium as a disc, for a virtual machine (see the README): $MEDIUM.iso"
fi

#!/bin/sh
# Runs a Windows test with the sample media's disc images in CD-ROM drives of the
# project's Wine prefix: each image mounted read-only through FUSE (fuseiso, as
# root: these machines' kernel reads no ISO 9660), the mount point given a drive
# letter, the letter the drive type "cdrom", and the letter told to the test as
# KELVARIN_DISC_<edition>. What it set up is taken down again however the test
# ends, and what a run that was killed left is taken down first.
#   disc-run.sh DISC_FOLDER TEST.exe [ARGS...]
# DISC_FOLDER holds Ardent.iso and Brisk.iso.
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
DISC=$(cd "$1" && pwd)
shift
"$ROOT/scripts/wine-session.sh" start
eval "export $("$ROOT/scripts/wine-session.sh" env)"
DOSDEVICES="$WINEPREFIX/dosdevices"
DRIVES='HKLM\Software\Wine\Drives'

# A mount the wineserver still holds a file of is detached lazily.
unmount() {
    fusermount -u "$1" 2>/dev/null || fusermount -uz "$1" 2>/dev/null ||
        fusermount3 -uz "$1" 2>/dev/null || umount -l "$1"
}

# Every drive and mount of ours, found by where it leads, so that nothing else
# in the prefix or on the machine is touched.
take_down() {
    for link in "$DOSDEVICES"/?:; do
        case "$(readlink "$link" 2>/dev/null)" in
        "$DISC"/mnt-*)
            wine reg delete "$DRIVES" /v "$(basename "$link")" /f >/dev/null 2>&1 || true
            rm -f "$link"
            ;;
        esac
    done
    for point in "$DISC"/mnt-*; do
        [ -d "$point" ] || continue
        if grep -qF " $point " /proc/mounts; then
            unmount "$point" || echo "disc-run: cannot unmount $point" >&2
        fi
        rmdir "$point" 2>/dev/null || true
    done
}

# A machine without FUSE cannot mount a disc at all: said, and counted as skipped.
if [ ! -c /dev/fuse ]; then
    echo "disc-run: this machine has no /dev/fuse, so no disc can be mounted; skipped" >&2
    exit 77
fi

take_down
trap take_down EXIT
trap 'exit 130' INT TERM HUP

for edition in Ardent Brisk; do
    image="$DISC/$edition.iso"
    [ -f "$image" ] || { echo "disc-run: $image is missing" >&2; exit 1; }
    letter=""
    for candidate in d e f g h i j k l m n o p q r s t u v w x y; do
        if [ ! -e "$DOSDEVICES/$candidate:" ] && [ ! -L "$DOSDEVICES/$candidate:" ]; then
            letter=$candidate
            break
        fi
    done
    [ -n "$letter" ] || { echo "disc-run: no free drive letter in $DOSDEVICES" >&2; exit 1; }
    point="$DISC/mnt-$edition"
    mkdir -p "$point"
    # -n: no record in $HOME; ro: the kernel refuses every write, as a CD does.
    fuseiso -n "$image" "$point" -o ro || {
        echo "disc-run: fuseiso cannot mount $image (it needs /dev/fuse and root)" >&2
        exit 1
    }
    ln -s "$point" "$DOSDEVICES/$letter:"
    wine reg add "$DRIVES" /v "$letter:" /d cdrom /f >/dev/null 2>&1
    export "KELVARIN_DISC_$edition=$(echo "$letter" | tr a-z A-Z):"
done

# Wine's mount manager reads the drive types as the prefix's server starts: the
# session's server is started anew (nothing else runs in the prefix meanwhile).
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
"$ROOT/scripts/wine-session.sh" start

status=0
"$ROOT/cmake/wine-run.sh" "$@" || status=$?
exit $status

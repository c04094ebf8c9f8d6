#!/bin/sh
# Generates a medium of about 2,000 files and 200 MB in ten packages, then times
# the install step against the Windows pkgtool's extraction under Wine.
# Needs the native pkgtool in $KELVARIN_OUT/bin and the Windows pkgtool.exe and
# install_bench.exe in $KELVARIN_OUT/win32-bin.
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=${KELVARIN_OUT:-$ROOT/build}
WORK=${BENCH_WORK:-$OUT/bench-install}
FILES=${BENCH_FILES:-2000}
PACKAGES=10

rm -rf "$WORK"
mkdir -p "$WORK/tree" "$WORK/medium"
# One incompressible and one text source to cut files from: half of each kind.
head -c 4194304 /dev/urandom >"$WORK/random.bin"
i=0
while [ $i -lt 60000 ]; do echo "line $i of the prompter script text, with words to squeeze"; i=$((i + 1)); done >"$WORK/text.txt"

i=0
while [ $i -lt "$FILES" ]; do
    p=$((i % PACKAGES))
    mkdir -p "$WORK/tree/P$p/dir$((i % 7))"
    size=$(( (i * 7919) % 180000 + 10000 ))
    if [ $((i % 2)) -eq 0 ]; then src="$WORK/random.bin"; else src="$WORK/text.txt"; fi
    head -c "$size" "$src" >"$WORK/tree/P$p/dir$((i % 7))/file$i.dat"
    i=$((i + 1))
done
p=0
while [ $p -lt $PACKAGES ]; do
    "$OUT/bin/pkgtool" create "$WORK/medium/BENCH$p.PKG" "$WORK/tree/P$p" >/dev/null
    p=$((p + 1))
done
echo "medium: $(du -sh "$WORK/tree" | cut -f1) in $FILES files, packages $(du -sh "$WORK/medium" | cut -f1)"

"$ROOT/scripts/wine-session.sh" start
eval "export $("$ROOT/scripts/wine-session.sh" env)"
wine "$OUT/win32-bin/install_bench.exe" "$(winepath -w "$WORK/medium")" 'C:\benchwork' \
    "$(winepath -w "$OUT/win32-bin/pkgtool.exe")"
rm -rf "$WORK"

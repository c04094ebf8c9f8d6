#!/bin/sh
# Runs the package benchmarks from an already built native tree:
#   bench/run-bench.sh [BUILD_DIR] [-- package_bench options]
# BUILD_DIR defaults to build/native. Scratch files (about 1.5 GiB at the
# peak) go to $TMPDIR or /tmp and are removed at the end.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/native}
[ $# -gt 0 ] && shift
[ "${1:-}" = "--" ] && shift
BENCH="$BUILD/bench/package_bench"
if [ ! -x "$BENCH" ]; then
    echo "run-bench: $BENCH is missing; build the native tree first" >&2
    exit 2
fi
exec "$BENCH" "$@"

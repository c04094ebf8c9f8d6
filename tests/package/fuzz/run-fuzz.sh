#!/bin/sh
# Runs the package fuzzer for a while: run-fuzz.sh [SECONDS] [BUILD_DIR]
# (defaults: 300 seconds, build/sanitize). The build dir must be configured
# with clang, -DKELVARIN_SANITIZE=ON -DKELVARIN_FUZZ=ON and built.
set -eu
ROOT=$(cd "$(dirname "$0")/../../.." && pwd)
SECONDS_TO_RUN=${1:-300}
BUILD=$(cd "${2:-$ROOT/build/sanitize}" 2>/dev/null && pwd) || {
    echo "run-fuzz: no build dir ${2:-$ROOT/build/sanitize}" >&2
    exit 2
}
FUZZER="$BUILD/tests/package/fuzz/package_fuzzer"
if [ ! -x "$FUZZER" ]; then
    echo "run-fuzz: $FUZZER is missing; build the sanitize tree first" >&2
    exit 2
fi
WORK="$BUILD/tests/package/fuzz/corpus"
mkdir -p "$WORK"
cd "$BUILD/tests/package/fuzz"
exec "$FUZZER" -max_total_time="$SECONDS_TO_RUN" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$BUILD/tests/package/fuzz/" \
    "$WORK" "$ROOT/tests/package/fuzz/corpus"

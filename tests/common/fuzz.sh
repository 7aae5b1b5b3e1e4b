#!/usr/bin/env bash
# Runs the CSV reader's fuzzer for a bounded time, seeded with the sample file
# under every choice of delimiter, header and line limit, and with the inputs
# found before. Usage: fuzz.sh <fuzz build folder> [seconds, 600]
# (the build: see tests/platform/dao/CMakeLists.txt, target fuzz_csv).
# A failing input is copied to tests/fixtures/csv/fuzz/ for the tests.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
SECONDS_RUN="${2:-600}"
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
FIX="$ROOT/tests/fixtures/csv/fuzz"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/seed" "$WORK/found"
for choice in $(seq 0 15); do
    { printf "\\x$(printf %x "$choice")"; cat "$ROOT/examples/people.csv"; } > "$WORK/seed/people-$choice"
done
if compgen -G "$FIX/*" >/dev/null; then
    cp "$FIX"/* "$WORK/seed/"
fi
status=0
"$BUILD/tests/common/fuzz_csv" "$WORK/seed" -max_total_time="$SECONDS_RUN" -max_len=65536 \
    -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=10 \
    -artifact_prefix="$WORK/found/csv-" -print_final_stats=1 || status=1
if compgen -G "$WORK/found/*" >/dev/null; then
    mkdir -p "$FIX"
    cp "$WORK"/found/* "$FIX/"
fi
exit $status

#!/usr/bin/env bash
# Runs the reader fuzzers and the worksheet scanner's for a bounded time
# each, seeded with the workbook fixtures. Usage: fuzz.sh <fuzz build folder> [seconds per reader, 600]
# A failing input is copied to tests/fixtures/workbooks/fuzz/ for the tests.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
SECONDS_EACH="${2:-600}"
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
FIX="$ROOT/tests/fixtures/workbooks"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/xlsx" "$WORK/xls" "$WORK/sxml" "$WORK/found"
cp "$FIX"/*.xlsx "$FIX"/bad/*.xlsx "$WORK/xlsx/"
cp "$FIX"/*.xls "$FIX"/bad/*.xls "$WORK/xls/"
# the parts of one small package, for the part-splitting mode of fuzz_xlsx
python3 - "$FIX/handmade_prefixed.xlsx" "$WORK/xlsx/parts" <<'PY'
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
names = ["_rels/.rels", "book/main.xml", "book/_rels/main.xml.rels", "book/strings.xml", "book/styles.xml", "sheets/one.xml"]
parts = [z.read(n).replace(b"/book/main.xml", b"xl/workbook.xml").replace(b"../sheets/one.xml", b"worksheets/sheet1.xml")
         .replace(b"strings.xml", b"sharedStrings.xml") for n in names]
open(sys.argv[2], "wb").write(b"\n@@\n".join(parts))
PY
# the worksheet parts of the packages, for the scanner's fuzzer
python3 - "$WORK/sxml" "$FIX"/*.xlsx "$FIX"/bad/*.xlsx <<'PY'
import sys, zipfile
for n, path in enumerate(sys.argv[2:]):
    try:
        z = zipfile.ZipFile(path)
        for name in z.namelist():
            if "worksheets/" in name and z.getinfo(name).file_size < 65536:
                open("%s/%d-%s" % (sys.argv[1], n, name.replace("/", "_")), "wb").write(z.read(name))
    except (zipfile.BadZipFile, OSError):
        pass
PY
status=0
for reader in xlsx xls sxml; do
    # The words of sheet XML lead the XML readers into their elements sooner.
    dict=()
    [ "$reader" != xls ] && dict=(-dict="$ROOT/tests/platform/dao/xml.dict")
    "$BUILD/tests/platform/dao/fuzz_$reader" "$WORK/$reader" "${dict[@]}" -max_total_time="$SECONDS_EACH" \
        -max_len=65536 -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=10 \
        -artifact_prefix="$WORK/found/$reader-" -print_final_stats=1 || status=1
done
if compgen -G "$WORK/found/*" >/dev/null; then
    mkdir -p "$FIX/fuzz"
    cp "$WORK"/found/* "$FIX/fuzz/"
fi
exit $status

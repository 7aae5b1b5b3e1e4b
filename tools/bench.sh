#!/usr/bin/env bash
# Builds the tree and runs every benchmark under bench/ (targets are stated in each file).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$ROOT/tools/common.sh"
install_packages
BUILD_TYPE=Release BUILD="$ROOT/build-bench" build_tree
for b in "$BUILD"/bench/bench_*; do
    [ -x "$b" ] && "$b"
done
# End to end: MORVANTE converting generated CSV files into dumps.
bash "$ROOT/bench/morvante.sh"
# MORVANTE into a private server, against the client running its dump and LOAD DATA.
bash "$ROOT/bench/server.sh"
# The workbook road against the CSV road into a private server.
bash "$ROOT/bench/xls.sh"

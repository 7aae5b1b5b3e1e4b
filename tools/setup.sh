#!/usr/bin/env bash
# Installs what the project needs on a Debian 12 machine and builds both programs.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$ROOT/tools/common.sh"
install_packages
build_tree
echo "Built into $BUILD"
# A first conversion: the sample CSV into an SQL dump.
mkdir -p "$BUILD/examples"
XDG_CONFIG_HOME="$BUILD/examples/config" "$BUILD/console/MORVANTE" --from_csv --src="$ROOT/examples/people.csv" \
    --csv_delim=2 --extr_fn --tab_name=people --dump --dest="$BUILD/examples/people.sql" --silent
echo "Sample dump: $BUILD/examples/people.sql (from examples/people.csv)"

#!/usr/bin/env bash
# Installs what the project needs, builds it, starts a private MariaDB server
# and runs every test against it.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$ROOT/tools/common.sh"
. "$ROOT/tools/mariadb.sh"
install_packages
build_tree
trap stop_test_server EXIT
start_test_server
cd "$BUILD"
ctest --output-on-failure -j "${JOBS:-$(nproc)}"

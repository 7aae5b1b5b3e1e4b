#!/usr/bin/env bash
# Installs what the project needs, builds it and runs every test.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$ROOT/tools/common.sh"
install_packages
build_tree
cd "$BUILD"
ctest --output-on-failure -j "$(nproc)"

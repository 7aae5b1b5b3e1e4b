#!/usr/bin/env bash
# Installs what the project needs on a Debian 12 machine and builds both programs.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$ROOT/tools/common.sh"
install_packages
build_tree
echo "Built into $BUILD"

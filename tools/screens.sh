#!/bin/bash
# A picture of every page and dialog of the wizard in build/screens/, taken
# on a virtual X display, for a human look. Not part of the tests.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$ROOT/tools/common.sh"
install_packages
build_tree
rm -rf "$BUILD/screens"
xvfb-run -a env QT_QPA_PLATFORM=xcb "$BUILD/tests/rvl_shel/rvl_screens" "$BUILD/screens"
echo "Pictures in $BUILD/screens"

#!/usr/bin/env bash
# Builds every target and runs every test.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${ZAVIX_BUILD_DIR:-$here/build}
bash "$here/scripts/build.sh"
cd "$build"
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure -j "$(nproc)" --timeout 600

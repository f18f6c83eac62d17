#!/usr/bin/env bash
# Builds every target and runs every test, then the sanitizer, thread
# sanitizer and fuzz stages (each prints its elapsed time; each fails the run).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${ZAVIX_BUILD_DIR:-$here/build}
start=$(date +%s)
bash "$here/scripts/build.sh"
cd "$build"
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure -j "$(nproc)" --timeout 600
echo "native stage: $(( ($(date +%s) - start) / 60 ))m$(printf '%02d' $(( ($(date +%s) - start) % 60 )))s"
# The Windows build and its suites under wine, where the SDK archive is there.
if [ -f "${ZAVIX_WINSDK_ARCHIVE:-$here/../shared/winsdk/zavix-winsdk.tar.xz}" ]; then bash "$here/scripts/test-windows.sh"; fi
bash "$here/scripts/sanitize.sh"
bash "$here/scripts/tsan.sh"
bash "$here/scripts/fuzz.sh"
if [ -f "${ZAVIX_WINSDK_ARCHIVE:-$here/../shared/winsdk/zavix-winsdk.tar.xz}" ]; then bash "$here/scripts/test-windows-program.sh"; fi

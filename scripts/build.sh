#!/usr/bin/env bash
# Configures and builds everything into ./build (or $ZAVIX_BUILD_DIR).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${ZAVIX_BUILD_DIR:-$here/build}
bash "$here/scripts/install-deps.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$(nproc)"

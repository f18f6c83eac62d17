#!/usr/bin/env bash
# Builds the tree with AddressSanitizer and UndefinedBehaviorSanitizer into
# ./build-sanitize (or $ZAVIX_SANITIZE_BUILD_DIR) and runs every native suite.
# The first report ends the suite that raised it, so the stage fails.
# The same folder holds the libFuzzer targets (scripts/fuzz.sh): the libraries
# carry the fuzzer's coverage hooks as well, so they are built once for both.
set -euo pipefail
source "$(dirname "$0")/sanitizers/common.sh"
here=$sanitizer_here
build=${ZAVIX_SANITIZE_BUILD_DIR:-$here/build-sanitize}

bash "$here/scripts/install-deps.sh"
sanitizer_install_clang

sanitizer_configure_asan "$build"
cmake --build "$build" -j "$(nproc)"
sanitizer_elapsed "sanitize build"

sanitizer_asan_env
export QT_QPA_PLATFORM=offscreen
cd "$build"
# tst_vexdump_wine runs the Windows library's programs, cross-built with
# mingw-w64, under wine: nothing of it is instrumented, and the native stage
# runs it already.
ctest --output-on-failure -j "$(nproc)" --timeout 600 -E '^tst_vexdump_wine$'
sanitizer_elapsed "sanitize stage"

#!/usr/bin/env bash
# The Windows stage: cross-builds the client and its suites
# (scripts/build-windows.sh), then runs the suites under wine with the
# offscreen platform; suites that want the local service get a native
# devservice each (scripts/wine-test.sh). Prints its elapsed time; fails when
# the build or any suite fails.
set -euo pipefail
start=$(date +%s)
here=$(cd "$(dirname "$0")/.." && pwd)
build=${ZAVIX_WIN_BUILD_DIR:-$here/build-windows}
native=${ZAVIX_BUILD_DIR:-$here/build}
sdk_dir=${ZAVIX_WINSDK_DIR:-$HOME/.cache/zavix-winsdk}

finish() {
  local rc=$?
  echo "test-windows: $([ $rc -eq 0 ] && echo passed || echo FAILED) in $(( $(date +%s) - start )) s"
}
trap finish EXIT

if [ "${1:-}" != "--on-display" ]; then
  bash "$here/scripts/build-windows.sh"

  # The native service for the suites that want one.
  if [ ! -f "$native/CMakeCache.txt" ]; then
    bash "$here/scripts/install-deps.sh"
    cmake -S "$here" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
  cmake --build "$native" --target devservice -j "$(nproc)"
fi

# The suites run on a virtual display of their own: Qt draws offscreen, but
# wine creates its windows through a display.
if [ "${1:-}" != "--on-display" ]; then
  xvfb-run -a bash "$0" --on-display
  exit $?
fi

export ZAVIX_WINSDK_ROOT=$sdk_dir/zavix-winsdk
export ZAVIX_NATIVE_DEVSERVICE=$native/devservice/devservice
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A prefix of this build's own; the first start makes it.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 300 wineboot -i
fi
# One wine server for all suites, instead of one started per suite.
wineserver -p

cd "$build"
status=0
ctest --output-on-failure -j "$(nproc)" --timeout 600 || status=$?
wineserver -k 2>/dev/null || true
exit $status

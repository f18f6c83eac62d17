#!/usr/bin/env bash
# wine-test.sh PROGRAM.exe [ARGS...]
# Runs one Windows test program under wine; ctest of the Windows build calls
# it for every test (CMAKE_CROSSCOMPILING_EMULATOR). A test that wants the
# local service (ZAVIX_TEST_WANTS_SERVICE=1) gets a native devservice of its
# own on a free port of 127.0.0.1, named in ZAVIX_TEST_SERVICE_URL and
# ZAVIX_TEST_SERVICE_DATA. Qt Test writes its results into a file (a console
# program's redirected output may stay empty under wine); they are printed
# afterwards and the program's exit code is passed on.
#
# Needs: WINEPREFIX (made by scripts/test-windows.sh), ZAVIX_WINSDK_ROOT (the
# unpacked SDK, for the Qt DLLs and plugins), ZAVIX_NATIVE_DEVSERVICE (the
# native devservice program) for tests that want the service.
set -uo pipefail
exe=$1
shift
: "${WINEPREFIX:?WINEPREFIX must be set}"
: "${ZAVIX_WINSDK_ROOT:?ZAVIX_WINSDK_ROOT must be set}"
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

work=$(mktemp -d "${TMPDIR:-/tmp}/zavix-wine-test.XXXXXX")
service_pid=
cleanup() {
  if [ -n "$service_pid" ]; then
    kill "$service_pid" 2>/dev/null
    wait "$service_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Windows paths of the Qt DLLs, the plugins and the posix-thread runtime.
gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
export WINEPATH="Z:$ZAVIX_WINSDK_ROOT/qt5/bin;Z:$gcc_dir;Z:/usr/x86_64-w64-mingw32/lib"
export QT_PLUGIN_PATH="Z:$ZAVIX_WINSDK_ROOT/qt5/plugins"

if [ -n "${ZAVIX_TEST_WANTS_SERVICE:-}" ]; then
  : "${ZAVIX_NATIVE_DEVSERVICE:?ZAVIX_NATIVE_DEVSERVICE must name the native devservice}"
  mkdir -p "$work/service"
  "$ZAVIX_NATIVE_DEVSERVICE" --port 0 --data "$work/service" >"$work/service.out" 2>"$work/service.err" &
  service_pid=$!
  url=
  for _ in $(seq 1 300); do
    url=$(sed -n 's/^ZAVIX_SERVICE_URL=//p' "$work/service.out" 2>/dev/null | head -n1)
    [ -n "$url" ] && break
    kill -0 "$service_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$url" ]; then
    echo "wine-test: devservice did not start" >&2
    cat "$work/service.err" >&2
    exit 1
  fi
  export ZAVIX_TEST_SERVICE_URL=$url ZAVIX_TEST_SERVICE_DATA="Z:$work/service"
fi

wine "$exe" "$@" -o "Z:$work/results.txt,txt" </dev/null
rc=$?
cat "$work/results.txt" 2>/dev/null || echo "wine-test: no results from $exe (exit code $rc)"
exit $rc

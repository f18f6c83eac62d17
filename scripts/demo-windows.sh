#!/usr/bin/env bash
# The Windows program under wine against devservice: builds the Windows
# program (scripts/build-windows.sh) and the native devservice, starts
# devservice with its demo accounts on 127.0.0.1 and ZavixUploadClient.exe
# under wine against it.
#
#   bash scripts/demo-windows.sh
#       For a person: on $DISPLAY when there is one, else on a virtual display
#       (Xvfb) with a screenshot saved to <Windows build>/demo-windows-screenshot.png
#       after ZAVIX_DEMO_SECONDS (default 20); ZAVIX_DEMO_KEEP=1 keeps it running.
#       The demo accounts it prints all use the password zavix123.
#   ZAVIX_DEMO_DRIVE=/path/to/file.mp4 bash scripts/demo-windows.sh
#       Without a person, on a virtual display: the test driver (tests/driver)
#       logs in to ZAVIX_DEMO_ACCOUNT (default oss@zavix.test), drops the file
#       on the upload page, and the run succeeds when devservice's store holds
#       a file with the same MD5; then it saves a screenshot of the main window
#       (<Windows build>/demo-windows-main.png) and closes the program.
#   --no-build skips the builds (the test stage has just made them).
set -euo pipefail
source "$(dirname "$0")/windows-common.sh"
if [ "${1:-}" != "--no-build" ]; then
  bash "$zw_here/scripts/build-windows.sh"
  zw_build_devservice
fi
exe=$zw_win/bin/ZavixUploadClient.exe
[ -f "$exe" ] || { echo "no Windows program at $exe" >&2; exit 1; }

# Runs inside the display: prefix, devservice, the program.
if [ "${ZW_INSIDE_DISPLAY:-}" != 1 ]; then
  if [ -n "${ZAVIX_DEMO_DRIVE:-}" ] || [ -z "${DISPLAY:-}" ]; then
    ZW_INSIDE_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x800x24" bash "$0" --no-build
  fi
fi

zw_prepare_prefix
work=$(mktemp -d /tmp/zavix-demo-windows.XXXXXX)
client=
cleanup() {
  [ -n "$client" ] && kill "$client" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  zw_stop_devservice
  rm -rf "$work"
}
trap cleanup EXIT
zw_start_devservice "$work/service"
grep -v '^ZAVIX_SERVICE_URL=' "$work/service/devservice.log" || true

if [ -z "${ZAVIX_DEMO_DRIVE:-}" ]; then
  wine "$exe" &
  client=$!
  if [ "${ZW_INSIDE_DISPLAY:-}" = 1 ]; then
    sleep "${ZAVIX_DEMO_SECONDS:-20}"
    shot=$zw_win/demo-windows-screenshot.png
    import -display "$DISPLAY" -window root "$shot" && echo "screenshot: $shot"
    [ -n "${ZAVIX_DEMO_KEEP:-}" ] && wait "$client"
  else
    wait "$client"
  fi
  exit 0
fi

# Unattended run with the test driver.
file=$ZAVIX_DEMO_DRIVE
[ -f "$file" ] || { echo "no file $file" >&2; exit 1; }
md5=$(md5sum "$file" | cut -d' ' -f1)
report=$work/driver-report.txt
shot=$zw_win/demo-windows-main.png
rm -f "$shot"
plugins=$zw_win/testplugins
[ -f "$plugins/generic/zavixdriver.dll" ] || { echo "no test driver at $plugins/generic" >&2; exit 1; }
QT_PLUGIN_PATH=$(zw_winpath "$plugins") QT_QPA_GENERIC_PLUGINS=zavixdriver \
  ZAVIX_DRIVER_REPORT=$(zw_winpath "$report") \
  ZAVIX_DRIVER_ACCOUNT=${ZAVIX_DEMO_ACCOUNT:-oss@zavix.test} ZAVIX_DRIVER_PASSWORD=zavix123 \
  ZAVIX_DRIVER_UPLOAD=$(zw_winpath "$file") \
  ZAVIX_DRIVER_SCREENSHOT=$(zw_winpath "$shot") \
  ZAVIX_DRIVER_QUIT=$(zw_winpath "$work/quit") \
  wine "$exe" &
client=$!

fail() {
  echo "demo-windows: $*" >&2
  echo "--- driver report" >&2; cat "$report" >&2 2>/dev/null || true
  exit 1
}
wait_for() { # <seconds> <command...>
  local limit=$(( $(date +%s) + $1 )); shift
  until "$@"; do
    kill -0 "$client" 2>/dev/null || return 1
    [ "$(date +%s)" -lt "$limit" ] || return 1
    sleep 0.5
  done
}
stored() { find "$work/service/oss/objects" "$work/service/wcs-objects" -type f -size +0 -exec md5sum {} + 2>/dev/null | grep -q "^$md5 "; }
reported() { grep -q "^$1" "$report" 2>/dev/null; }

wait_for 120 reported "main window" || fail "the main window did not come up"
wait_for 60 reported "file dropped" || fail "the file was not dropped"
reported "file dropped accepted" || fail "the upload page refused the file"
wait_for 300 stored || fail "the store has no file with MD5 $md5"
wait_for 120 reported "rows done" || fail "the upload row did not finish"
touch "$work/quit"
wait "$client" || fail "the program did not end cleanly"
client=
grep -q '^screenshot ok' "$report" || fail "no screenshot"
grep -q '^cjk font yes' "$report" || fail "wine has no font for Chinese text"
if grep -q '^dialog ' "$report"; then fail "a message dialog came up"; fi
echo "demo-windows: uploaded $(basename "$file") (MD5 $md5) as $(grep -o '^cjk font.*' "$report" | head -1)"
echo "screenshot: $shot"

#!/usr/bin/env bash
# The Windows program under wine, end to end: builds it
# (scripts/build-windows.sh), its installer (scripts/build-installer.sh) and
# the native devservice, then
#  1. the installer: a silent per-user install, the installed program starts
#     and ends cleanly while a second instance is refused (ends at once with
#     0), the installed program's crash reaches the reporter with the version
#     resource's product name and version, an upgrade over it keeps the
#     users' files, a silent uninstall removes the program;
#  2. the driven demo (scripts/demo-windows.sh): log in to a demo account of
#     each channel, drop a file, the store holds the file's MD5, a screenshot
#     of the main window with its Chinese texts.
# Prints its elapsed time; any failure fails the stage. --no-build uses the
# Windows and native builds as they are (the installer is always built).
set -euo pipefail
started=$(date +%s)
here=$(cd "$(dirname "$0")/.." && pwd)
if [ "${ZW_INSIDE_DISPLAY:-}" != 1 ]; then
  source "$here/scripts/windows-common.sh"
  if [ "${1:-}" != "--no-build" ]; then
    bash "$here/scripts/build-windows.sh"
    zw_build_devservice
    # The stand-in crash reporter of the crash library's tests (cross-built
    # by the native tree).
    cmake --build "$zw_native" --target vexdump_wine_programs
  fi
  bash "$here/scripts/build-installer.sh" --no-build
  set +e
  ZW_INSIDE_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x800x24" bash "$0"
  status=$?
  set -e
  echo "windows program stage: $(( $(date +%s) - started )) s"
  exit $status
fi

source "$here/scripts/windows-common.sh"
zw_prepare_prefix
work=$(mktemp -d /tmp/zavix-windows-program.XXXXXX)
cleanup() {
  wineserver -k 2>/dev/null || true
  zw_stop_devservice
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "PASS: $*"; }

setup=$zw_win/ZavixUploadClientSetup.exe
[ -f "$setup" ] || fail "no installer at $setup"
reporter=$zw_native/tests/crashdump/wine-build/bin/crashsend.exe
[ -f "$reporter" ] || fail "no stand-in crash reporter at $reporter"
plugins=$(zw_winpath "$zw_win/testplugins")
[ -f "$zw_win/testplugins/generic/zavixdriver.dll" ] || fail "no test driver in $zw_win/testplugins"

windows_folder() { # the Unix path of a Windows folder variable (LOCALAPPDATA, APPDATA)
  winepath -u "$(wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r')" 2>/dev/null
}
local_data=$(windows_folder LOCALAPPDATA)
roaming=$(windows_folder APPDATA)
[ -d "$local_data" ] || fail "no local application data folder ($local_data)"
app=$local_data/ZavixUploadClient
shortcut="$roaming/Microsoft/Windows/Start Menu/Programs/Zavix上传客户端.lnk"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZavixUploadClient'
rm -rf "$app"

zw_start_devservice "$work/service"

# Runs the installed program with the test driver; sets program_pid.
# Extra environment as arguments (NAME=value ...).
start_installed() {
  local report=$1; shift
  rm -f "$work/quit" "$report"
  env QT_PLUGIN_PATH="$plugins" QT_QPA_GENERIC_PLUGINS=zavixdriver \
    ZAVIX_DRIVER_REPORT="$(zw_winpath "$report")" ZAVIX_DRIVER_QUIT="$(zw_winpath "$work/quit")" "$@" \
    wine "$app/ZavixUploadClient.exe" &
  program_pid=$!
}
wait_for_line() { # <file> <prefix> <seconds>
  local limit=$(( $(date +%s) + $3 ))
  until grep -q "^$2" "$1" 2>/dev/null; do
    kill -0 "$program_pid" 2>/dev/null || return 1
    [ "$(date +%s)" -lt "$limit" ] || return 1
    sleep 0.2
  done
}
installed_files_present() {
  for f in ZavixUploadClient.exe version.ini VexDumpw.dll Qt5Core.dll Qt5Widgets.dll platforms/qwindows.dll \
           libstdc++-6.dll libwinpthread-1.dll uninstall.exe; do
    [ -f "$app/$f" ] || { echo "missing: $f" >&2; return 1; }
  done
}

# --- 1. Install, start, second instance, crash, upgrade, uninstall ----------
wine "$setup" /S || fail "the silent install failed"
installed_files_present || fail "the install is incomplete"
[ ! -e "$app/platforms/qoffscreen.dll" ] || fail "the installer ships the test platform"
cmp -s "$app/version.ini" "$zw_win/bin/version.ini" || fail "version.ini differs from the build's"
[ -f "$shortcut" ] || fail "no Start-menu entry at $shortcut"
wine reg query "$uninstall_key" /v UninstallString >/dev/null 2>&1 || fail "no uninstall entry"
pass "silent install under $app"

report=$work/first.txt
start_installed "$report"
wait_for_line "$report" "login dialog" 120 || fail "the installed program did not show its login dialog"
second_started=$(date +%s)
second=0
timeout 60 wine "$app/ZavixUploadClient.exe" || second=$?
[ "$second" -eq 0 ] || fail "the second instance ended with $second"
kill -0 "$program_pid" 2>/dev/null || fail "the first instance ended with the second"
pass "a second instance ended at once with 0 ($(( $(date +%s) - second_started )) s)"
touch "$work/quit"
first=0
wait "$program_pid" || first=$?
[ "$first" -eq 0 ] || fail "the installed program ended with $first"
ls "$app/log/"*.txt >/dev/null 2>&1 || fail "the installed program wrote no log"
pass "the installed program ran and ended cleanly"

# A crash of the installed program: the reporter beside it gets the product
# name and version of its version resource.
cp "$reporter" "$app/crashsend.exe"
mkdir -p "$work/records"
start_installed "$work/crash.txt" ZAVIX_DRIVER_CRASH=1 VEXDUMP_RECORD_DIR="$(zw_winpath "$work/records")"
wait "$program_pid" || true
for _ in $(seq 1 100); do ls "$work/records"/crashsend-*.txt >/dev/null 2>&1 && break; sleep 0.1; done
record=$(cat "$work/records"/crashsend-*.txt 2>/dev/null || true)
rm -f "$app/crashsend.exe"
version=$(sed -n 's/^VERSION=//p' "$app/version.ini" | tr -d '\r' | base64 -d)
case "$record" in
  *"-project=\"ZavixUploadClient\" -version=\"$version\" "*) ;;
  *) fail "the crash reporter got: ${record:-nothing}" ;;
esac
pass "a crash reaches the reporter with -project=\"ZavixUploadClient\" -version=\"$version\""

# Upgrade in place: the users' files stay, damaged or missing program files
# come back.
mkdir -p "$app/users/abc"
echo '{"kept":true}' >"$app/users/abc/uploadInfo.json"
echo 'remembered users' >"$app/info"
rm -f "$app/Qt5Core.dll"
echo 'damaged' >"$app/version.ini"
wine "$setup" /S || fail "the upgrade failed"
installed_files_present || fail "the upgrade is incomplete"
cmp -s "$app/version.ini" "$zw_win/bin/version.ini" || fail "the upgrade left a damaged version.ini"
[ "$(cat "$app/users/abc/uploadInfo.json")" = '{"kept":true}' ] || fail "the upgrade lost users/"
[ "$(cat "$app/info")" = 'remembered users' ] || fail "the upgrade lost the remembered-users file"
start_installed "$work/upgraded.txt"
wait_for_line "$work/upgraded.txt" "login dialog" 120 || fail "the upgraded program did not start"
touch "$work/quit"
wait "$program_pid" || fail "the upgraded program did not end cleanly"
pass "upgrade in place kept users/ and info"

# Silent uninstall: the program, its log, the shortcut and the entries go;
# the users' files stay.
wine "$app/uninstall.exe" /S
wineserver -w
[ ! -e "$app/ZavixUploadClient.exe" ] && [ ! -e "$app/Qt5Core.dll" ] && [ ! -e "$app/platforms" ] \
  && [ ! -e "$app/uninstall.exe" ] && [ ! -e "$app/log" ] || fail "the uninstall left program files: $(ls "$app")"
[ ! -e "$shortcut" ] || fail "the uninstall left the Start-menu entry"
if wine reg query "$uninstall_key" >/dev/null 2>&1; then fail "the uninstall left its registry entry"; fi
[ -f "$app/info" ] && [ -f "$app/users/abc/uploadInfo.json" ] || fail "a silent uninstall removed the users' files"
pass "silent uninstall (users' files kept)"
rm -rf "$app"
zw_stop_devservice

# --- 2. The driven demo on both channels -----------------------------------
head -c $((5 * 1024 * 1024 + 321)) /dev/urandom >"$work/lesson one.mp4"
for account in oss@zavix.test wcs@zavix.test; do
  ZAVIX_DEMO_DRIVE="$work/lesson one.mp4" ZAVIX_DEMO_ACCOUNT=$account \
    bash "$here/scripts/demo-windows.sh" --no-build || fail "the driven demo failed for $account"
  cp "$zw_win/demo-windows-main.png" "$zw_win/demo-windows-main-${account%%@*}.png"
  pass "driven demo: $account"
done

# Shared by scripts/demo-windows.sh and scripts/test-windows-program.sh
# (sourced, not run): the native devservice and a wine prefix for the
# Windows program.
#   ZAVIX_WIN_BUILD_DIR  the Windows build (default <repo>/build-windows)
#   ZAVIX_BUILD_DIR      the native build that provides devservice (default <repo>/build)
#   ZAVIX_WINEPREFIX     the wine prefix (default <Windows build>/wineprefix)

zw_here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
zw_win=${ZAVIX_WIN_BUILD_DIR:-$zw_here/build-windows}
zw_native=${ZAVIX_BUILD_DIR:-$zw_here/build}
export WINEPREFIX=${ZAVIX_WINEPREFIX:-$zw_win/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No offer to install Mono or Gecko: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
# The program draws through the windows platform plugin on the (virtual)
# display; the offscreen one of the native tests is not installed with it.
unset QT_QPA_PLATFORM
# No test or demo powers the machine off.
export ZAVIX_SHUTDOWN_COMMAND=/bin/true

# Builds the native devservice (only that target).
zw_build_devservice() {
  bash "$zw_here/scripts/install-deps.sh"
  if [ ! -f "$zw_native/build.ninja" ]; then
    cmake -S "$zw_here" -B "$zw_native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
  cmake --build "$zw_native" --target devservice
}

# Starts devservice with the demo accounts on a free port of 127.0.0.1 with
# its data in folder $1; sets zw_service_pid and exports ZAVIX_SERVICE_URL.
zw_start_devservice() {
  local data=$1 log=$1/devservice.log
  mkdir -p "$data"
  "$zw_native/devservice/devservice" --port 0 --data "$data" >"$log" 2>&1 &
  zw_service_pid=$!
  for _ in $(seq 1 200); do
    grep -q '^ZAVIX_SERVICE_URL=' "$log" 2>/dev/null && break
    kill -0 "$zw_service_pid" 2>/dev/null || break
    sleep 0.1
  done
  ZAVIX_SERVICE_URL=$(sed -n 's/^ZAVIX_SERVICE_URL=//p' "$log" | head -n 1)
  export ZAVIX_SERVICE_URL
  [ -n "$ZAVIX_SERVICE_URL" ] || { cat "$log" >&2; echo "devservice did not start" >&2; return 1; }
}

zw_stop_devservice() {
  [ -n "${zw_service_pid:-}" ] || return 0
  kill "$zw_service_pid" 2>/dev/null || true
  wait "$zw_service_pid" 2>/dev/null || true
  zw_service_pid=
}

# Creates the wine prefix when missing and lets wine draw Chinese text: the
# Noto CJK fonts are linked into the prefix's font folder and the Chinese
# families that Windows programs and Qt's font fallback ask for are replaced
# by them.
zw_prepare_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  local fonts=$WINEPREFIX/drive_c/windows/Fonts f
  mkdir -p "$fonts"
  for f in /usr/share/fonts/opentype/noto/NotoSansCJK-*.ttc; do
    [ -e "$f" ] || { echo "fonts-noto-cjk is missing" >&2; return 1; }
    ln -sf "$f" "$fonts/$(basename "$f")"
  done
  if ! grep -q '"SimSun"="Noto Sans CJK SC"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    local reg=$WINEPREFIX/zavix-fonts.reg
    {
      printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
      for family in "SimSun" "NSimSun" "SimHei" "Microsoft YaHei" "Microsoft YaHei UI" "MS Song" \
                    "PMingLiU" "MingLiU" "MS UI Gothic" "Gulim" "Arial Unicode MS"; do
        printf '"%s"="Noto Sans CJK SC"\r\n' "$family"
      done
    } >"$reg"
    wine regedit "$(winepath -w "$reg")" >/dev/null 2>&1
    wineserver -w
  fi
}

# The Windows form of a Unix path (Z:\...).
zw_winpath() {
  winepath -w "$1" 2>/dev/null | tr -d '\r'
}

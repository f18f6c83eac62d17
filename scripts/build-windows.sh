#!/usr/bin/env bash
# Cross-builds the whole client for 64-bit Windows: every client target,
# VexDumpw and the test suites, into ./build-windows (or $ZAVIX_WIN_BUILD_DIR),
# with the program at bin/ZavixUploadClient.exe and what it needs next to it.
#
# The Windows SDK (Qt, OpenSSL, libcurl for x86_64-w64-mingw32) comes from
# $ZAVIX_WINSDK_ARCHIVE (default ../shared/winsdk/zavix-winsdk.tar.xz beside
# the repository) and is unpacked outside the repository, into
# $ZAVIX_WINSDK_DIR (default ~/.cache/zavix-winsdk); an unpack of the same
# archive is reused.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
archive=${ZAVIX_WINSDK_ARCHIVE:-$here/../shared/winsdk/zavix-winsdk.tar.xz}
sdk_dir=${ZAVIX_WINSDK_DIR:-$HOME/.cache/zavix-winsdk}
build=${ZAVIX_WIN_BUILD_DIR:-$here/build-windows}

# --- packages -------------------------------------------------------------
packages=(
  cmake ninja-build xz-utils ccache
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 qttranslations5-l10n xvfb xauth
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# --- the SDK --------------------------------------------------------------
if [ ! -f "$archive" ]; then
  echo "build-windows: no Windows SDK archive at $archive (set ZAVIX_WINSDK_ARCHIVE)" >&2
  exit 1
fi
stamp=$(stat -c '%s %Y' "$archive")
root=$sdk_dir/zavix-winsdk
if [ ! -f "$sdk_dir/.unpacked" ] || [ "$(cat "$sdk_dir/.unpacked")" != "$stamp" ] || [ ! -d "$root/qt5" ]; then
  echo "build-windows: unpacking $archive into $sdk_dir"
  mkdir -p "$sdk_dir"
  rm -rf "$root" "$sdk_dir/.unpacked"
  tar -xJf "$archive" -C "$sdk_dir"
  echo "$stamp" > "$sdk_dir/.unpacked"
fi

# --- configure and build ----------------------------------------------------
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64-posix.cmake" \
  -DZAVIX_WINSDK_ROOT="$root" \
  -DZAVIX_QT_TRANSLATIONS_DIR=/usr/share/qt5/translations \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$here/scripts/wine-test.sh" \
  -DZAVIX_BUILD_DEVSERVICE=OFF -DZAVIX_BUILD_BENCH=OFF -DZAVIX_BUILD_TESTS=ON \
  "${launcher[@]}"
cmake --build "$build" -j "$(nproc)"
echo "build-windows: $build/bin/ZavixUploadClient.exe"

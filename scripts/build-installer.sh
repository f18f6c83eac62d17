#!/usr/bin/env bash
# Builds the Windows installer ZavixUploadClientSetup.exe from the Windows
# build (scripts/build-windows.sh, run first unless --no-build is given):
# stages the program's files, writes the installer's file lists and runs
# makensis on installer/ZavixUploadClient.nsi.
#   ZAVIX_WIN_BUILD_DIR  the Windows build (default <repo>/build-windows)
# Output: $ZAVIX_WIN_BUILD_DIR/ZavixUploadClientSetup.exe
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
win=${ZAVIX_WIN_BUILD_DIR:-$here/build-windows}
[ "${1:-}" = "--no-build" ] || bash "$here/scripts/build-windows.sh"

if ! command -v makensis >/dev/null 2>&1; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends nsis
fi

bin=$win/bin
[ -f "$bin/ZavixUploadClient.exe" ] || { echo "no Windows build in $bin" >&2; exit 1; }
[ -f "$win/generated/zavixproduct.nsh" ] || { echo "no $win/generated/zavixproduct.nsh" >&2; exit 1; }

# Exactly the program's files: the executable, the DLLs beside it, the
# version file and the Qt plugins it loads. Nothing the program writes next
# to itself at run time (info, users/, log/) and no test programs or test-only
# plugins (the offscreen platform).
stage=$win/installer/stage
rm -rf "$stage"
mkdir -p "$stage"
cp "$bin/ZavixUploadClient.exe" "$bin/version.ini" "$stage/"
cp "$bin"/*.dll "$stage/"
for dir in platforms styles imageformats iconengines; do
  [ -d "$bin/$dir" ] || continue
  for dll in "$bin/$dir"/*.dll; do
    [ -e "$dll" ] || continue
    case "$(basename "$dll")" in qoffscreen*.dll) continue ;; esac
    mkdir -p "$stage/$dir"
    cp "$dll" "$stage/$dir/"
  done
done
[ -f "$stage/platforms/qwindows.dll" ] || { echo "platforms/qwindows.dll missing in $bin" >&2; exit 1; }

files=$win/installer/files.nsh
unfiles=$win/installer/unfiles.nsh
: >"$files"
: >"$unfiles"
(cd "$stage" && find . -mindepth 1 -type d | sed 's|^\./||' | sort) | while read -r d; do
  echo "CreateDirectory \"\$INSTDIR\\${d//\//\\}\"" >>"$files"
done
(cd "$stage" && find . -type f | sed 's|^\./||' | sort) | while read -r f; do
  echo "File \"/oname=\$INSTDIR\\${f//\//\\}\" \"$stage/$f\"" >>"$files"
  echo "Delete \"\$INSTDIR\\${f//\//\\}\"" >>"$unfiles"
done
(cd "$stage" && find . -mindepth 1 -type d | sed 's|^\./||' | sort -r) | while read -r d; do
  echo "RMDir \"\$INSTDIR\\${d//\//\\}\"" >>"$unfiles"
done

out=$win/ZavixUploadClientSetup.exe
makensis -INPUTCHARSET UTF8 -V2 -NOCD \
  "-X!addincludedir $win/generated" \
  "-DSTAGE=$stage" "-DFILES=$files" "-DUNFILES=$unfiles" \
  "-DICON=$here/resources/Resources/ZAVIX-Desktop.ico" "-DOUTFILE=$out" \
  "$here/installer/ZavixUploadClient.nsi"
echo "installer: $out"

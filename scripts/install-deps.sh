#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the demo need.
# Only missing packages are installed; nothing happens when all are present.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qtbase5-dev qtbase5-dev-tools qttranslations5-l10n
  libcurl4-openssl-dev libssl-dev libcpp-httplib-dev
  xvfb xauth x11-apps imagemagick librsvg2-bin fonts-noto-cjk
  mingw-w64 wine wine64
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Renders the message dialog, the login dialog and the main window's five
# pages offscreen, styled with the application style sheet, into PNG files
# for review.
#   bash scripts/render-ui.sh [output folder]   (default: build/ui-review)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${ZAVIX_BUILD_DIR:-$here/build}
out=${1:-$build/ui-review}
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$here" -B "$build" -G Ninja
fi
cmake --build "$build" --target render_dialogs -j2
QT_QPA_PLATFORM=offscreen "$build/tests/dialogs/render_dialogs" "$out"
cmake --build "$build" --target render_mainwindow -j2
QT_QPA_PLATFORM=offscreen "$build/tests/shell/render_mainwindow" "$out"

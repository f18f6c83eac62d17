#!/usr/bin/env bash
# Builds every target and runs every native test, then the further stages
# that ZAVIX_STAGES names (each prints its elapsed time; a failing stage
# fails the run):
#   windows          the Windows build and its suites under wine
#   windows-program  the installer and the driven program under wine
#   sanitize         every native suite under AddressSanitizer + UBSan
#   tsan             the threaded suites under ThreadSanitizer
#   fuzz             every fuzz target for ZAVIX_FUZZ_SECONDS
# The Windows stages need the SDK archive and are skipped without it.
# ZAVIX_STAGES=all runs every stage.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${ZAVIX_BUILD_DIR:-$here/build}
# The stages CI runs on every submission.
default_stages=""
stages=${ZAVIX_STAGES-$default_stages}
[ "$stages" = all ] && stages="windows windows-program sanitize tsan fuzz"
winsdk=${ZAVIX_WINSDK_ARCHIVE:-$here/../shared/winsdk/zavix-winsdk.tar.xz}

elapsed() { local s=$(( $(date +%s) - $1 )); printf '%dm%02ds' $((s / 60)) $((s % 60)); }

start=$(date +%s)
bash "$here/scripts/build.sh"
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" --timeout 600)
echo "native stage: $(elapsed "$start")"

for stage in $stages; do
  case "$stage" in
    windows|windows-program)
      if [ ! -f "$winsdk" ]; then echo "$stage stage: skipped (no Windows SDK archive at $winsdk)"; continue; fi
      script=test-$stage.sh ;;
    sanitize|tsan|fuzz) script=$stage.sh ;;
    *) echo "unknown stage: $stage" >&2; exit 2 ;;
  esac
  t=$(date +%s)
  bash "$here/scripts/$script"
  echo "$stage stage: $(elapsed "$t")"
done
echo "all stages: $(elapsed "$start")"

#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (in the sanitizer build folder,
# ./build-sanitize or $ZAVIX_SANITIZE_BUILD_DIR) and runs each one for
# $ZAVIX_FUZZ_SECONDS seconds (60), $ZAVIX_FUZZ_JOBS at a time (2), starting
# from its seeds in fuzz/corpus/<name>/. A crash, a sanitizer report or a
# broken property fails the stage; the input that did it is kept in
# <build>/fuzz-run/<name>/ and printed.
#   scripts/fuzz.sh [name...]     only these targets (e.g. ossxml checkpoint)
set -euo pipefail
source "$(dirname "$0")/sanitizers/common.sh"
here=$sanitizer_here
build=${ZAVIX_SANITIZE_BUILD_DIR:-$here/build-sanitize}
seconds=${ZAVIX_FUZZ_SECONDS:-60}
jobs=${ZAVIX_FUZZ_JOBS:-2}

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for f in "$here"/fuzz/fuzz_*.cpp; do
    n=$(basename "$f" .cpp)
    names+=("${n#fuzz_}")
  done
fi

bash "$here/scripts/install-deps.sh"
sanitizer_install_clang
sanitizer_configure_asan "$build"
cmake --build "$build" -j "$(nproc)" --target "${names[@]/#/fuzz_}"
sanitizer_elapsed "fuzz build"

sanitizer_asan_env
export QT_QPA_PLATFORM=offscreen
run=$build/fuzz-run
rm -rf "$run"
mkdir -p "$run"

# One target: a scratch corpus grown from the seeds, the log and any
# failing input in its own folder. Prints one line with the outcome.
fuzz_one() {
  local name=$1 dir=$run/$1
  mkdir -p "$dir/corpus"
  local rc=0 seeds=()
  [ -d "$here/fuzz/corpus/$name" ] && seeds=("$here/fuzz/corpus/$name")
  "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$dir/" \
    "$dir/corpus" "${seeds[@]}" >"$dir/log" 2>&1 || rc=$?
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$dir/log" | grep -o '[0-9]*$' || echo "?")
  if [ $rc -eq 0 ]; then
    echo "fuzz_$name: ok, $runs runs in ${seconds}s"
  else
    echo "fuzz_$name: FAILED (exit $rc), see $dir/log"
  fi
  return $rc
}

failed=0
pids=()
for name in "${names[@]}"; do
  fuzz_one "$name" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do
  wait "$p" || failed=1
done

if [ $failed -ne 0 ]; then
  for log in "$run"/*/log; do
    if grep -qE 'ERROR: |SUMMARY: |property does not hold|deadly signal' "$log"; then
      echo "---- $log"
      grep -E -A40 'ERROR: |property does not hold|runtime error' "$log" | head -80
    fi
  done
fi
sanitizer_elapsed "fuzz stage"
exit $failed

#!/usr/bin/env bash
# Builds the threaded suites with ThreadSanitizer into ./build-tsan (or
# $ZAVIX_TSAN_BUILD_DIR) and runs them. Any report fails the suite.
set -euo pipefail
source "$(dirname "$0")/sanitizers/common.sh"
here=$sanitizer_here
build=${ZAVIX_TSAN_BUILD_DIR:-$here/build-tsan}

# Transfers and workers, the OSS client, both channels, the queue, the record
# file with its snapshots, the speed test, the emulator, and the log that
# every thread writes to.
suites=(tst_transfer tst_workers tst_ossupload tst_ossstore tst_osswire tst_ossdevservice
        tst_aliyunchannel tst_wcschannel tst_uploadqueue tst_uploadrecord tst_nettest
        tst_devservice tst_log)

bash "$here/scripts/install-deps.sh"
sanitizer_install_clang

flags="-O1 -g -fno-omit-frame-pointer -fsanitize=thread"
# Qt's mutexes as the sanitizer sees them (see the file): linked into every program.
mkdir -p "$build"
qtsync=$build/tsan_qmutex.o
# shellcheck disable=SC2046
clang++-14 -std=c++17 -fPIC $flags $(pkg-config --cflags Qt5Core) \
  -c "$sanitizer_dir/tsan_qmutex.cpp" -o "$qtsync.new"
cmp -s "$qtsync.new" "$qtsync" 2>/dev/null && rm "$qtsync.new" || mv "$qtsync.new" "$qtsync"
# shellcheck disable=SC2046
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  $(sanitizer_launcher_args) \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread $qtsync" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread" \
  -DZAVIX_BUILD_BENCH=OFF -DVEXDUMP_MINGW_CXX=VEXDUMP_MINGW_CXX-NOTFOUND >/dev/null
# Only the suites and what they start.
cmake --build "$build" -j "$(nproc)" --target "${suites[@]}" devservice
sanitizer_elapsed "tsan build"

export TSAN_OPTIONS="${ZAVIX_TSAN_OPTIONS:-halt_on_error=1}:second_deadlock_stack=1:suppressions=$sanitizer_dir/tsan.supp"
export QT_QPA_PLATFORM=offscreen
cd "$build"
regex="^($(IFS='|'; echo "${suites[*]}"))\$"
ctest --output-on-failure -j "$(nproc)" --timeout 600 -R "$regex"
sanitizer_elapsed "tsan stage"

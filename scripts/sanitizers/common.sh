# Shared by the sanitizer, thread-sanitizer and fuzz stages (sourced, not run).
# Picks Debian's clang 14, installs it when missing, and prints elapsed times.

sanitizer_here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
sanitizer_dir=$sanitizer_here/scripts/sanitizers

# clang 14 with its sanitizer and libFuzzer runtimes.
sanitizer_install_clang() {
  local missing=()
  for p in clang-14 libclang-rt-14-dev; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# The compiler launcher: ccache when it is there.
sanitizer_launcher_args() {
  if command -v ccache >/dev/null 2>&1; then
    echo "-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
  fi
}

sanitizer_start=$(date +%s)
# sanitizer_elapsed <stage name>: one line with the stage's time so far.
sanitizer_elapsed() {
  local s=$(( $(date +%s) - sanitizer_start ))
  printf '%s: %dm%02ds\n' "$1" $((s / 60)) $((s % 60))
}

# sanitizer_configure_asan <build folder>: the AddressSanitizer and
# UndefinedBehaviorSanitizer build, with the fuzz targets. The libraries carry
# libFuzzer's coverage hooks too, so scripts/sanitize.sh and scripts/fuzz.sh
# share one build of them.
sanitizer_configure_asan() {
  # vptr stays off: its type checks need every polymorphic class's type
  # information linked into each program, which the tree does not do yet.
  local flags="-O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize=vptr"
  flags="$flags -fno-sanitize-recover=all -fsanitize=fuzzer-no-link"
  # shellcheck disable=SC2046
  cmake -S "$sanitizer_here" -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    $(sanitizer_launcher_args) \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DZAVIX_BUILD_BENCH=OFF -DZAVIX_BUILD_FUZZ=ON \
    -DVEXDUMP_MINGW_CXX=VEXDUMP_MINGW_CXX-NOTFOUND >/dev/null
}

# The sanitizers' run-time settings: the first report ends the program.
sanitizer_asan_env() {
  export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
  export LSAN_OPTIONS="suppressions=$sanitizer_dir/lsan.supp:print_suppressions=0"
}

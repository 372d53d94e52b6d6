#!/usr/bin/env bash
# Installs what the tests need when it is missing (scripts/deps.sh), then
# configures, builds (2 jobs) and runs every test of the project, with
# warnings as errors.
#   scripts/test.sh             normal build with g++ in build/, with the Python module
#   scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build with clang in build-asan/
#   scripts/test.sh --tsan      ThreadSanitizer build with clang in build-tsan/: the unit test programs only
# BUILD_DIR=... overrides the build directory, CXX=... the compiler.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=normal
for arg in "$@"; do
  case "$arg" in
    --sanitize) mode=asan ;;
    --tsan) mode=tsan ;;
    -h | --help)
      sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'
      exit 0
      ;;
    *)
      echo "test.sh: unknown argument '$arg' (try --help)" >&2
      exit 2
      ;;
  esac
done

options=(-DCORVANE_TESTS=ON -DCORVANE_WERROR=ON)
target=()
ctest_args=()
case "$mode" in
  normal)
    dir=${BUILD_DIR:-build}
    scripts/deps.sh tests
    export CXX=${CXX:-g++}
    options+=(-DCORVANE_BENCH=ON) # built (not run) so that the benchmarks keep compiling
    options+=(-DCORVANE_PYTHON=ON)
    ;;
  asan)
    dir=${BUILD_DIR:-build-asan}
    scripts/deps.sh clang
    export CXX=${CXX:-clang++}
    options+=(-DCORVANE_SANITIZE=ON -DCORVANE_BENCH=OFF) # timings under the sanitizers mean nothing
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
    ;;
  tsan)
    dir=${BUILD_DIR:-build-tsan}
    scripts/deps.sh clang
    options+=(-DCORVANE_TSAN=ON -DCORVANE_BENCH=OFF)
    target=(--target corvane_test_programs)
    ctest_args=(-L unit)
    export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
    export CXX=${CXX:-clang++}
    ;;
esac

# A build directory configured with another compiler starts afresh.
if [ -f "$dir/CMakeCache.txt" ]; then
  cached=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$dir/CMakeCache.txt")
  wanted=$(command -v "$CXX" || true)
  if [ -n "$wanted" ] && [ "$(readlink -f "$cached")" != "$(readlink -f "$wanted")" ]; then
    echo "test.sh: $dir was configured with $cached; configuring it again with $wanted"
    rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
  fi
fi

if ! cmake -S . -B "$dir" "${options[@]}"; then
  echo "test.sh: configuring failed" >&2
  exit 1
fi
cmake --build "$dir" -j2 "${target[@]}"
ctest --test-dir "$dir" --output-on-failure -j2 "${ctest_args[@]}"

#!/usr/bin/env bash
# Configures, builds (2 jobs) and runs every test of the project.
#   scripts/test.sh             normal build in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#   scripts/test.sh --tsan      ThreadSanitizer build in build-tsan/: the unit test programs only
# BUILD_DIR=... overrides the build directory.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=normal
for arg in "$@"; do
  case "$arg" in
    --sanitize) mode=asan ;;
    --tsan) mode=tsan ;;
    -h | --help)
      sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//'
      exit 0
      ;;
    *)
      echo "test.sh: unknown argument '$arg' (try --help)" >&2
      exit 2
      ;;
  esac
done

options=(-DCORVANE_TESTS=ON)
target=()
ctest_args=()
case "$mode" in
  normal)
    dir=${BUILD_DIR:-build}
    options+=(-DCORVANE_BENCH=ON) # built (not run) so that the benchmarks keep compiling
    ;;
  asan)
    dir=${BUILD_DIR:-build-asan}
    options+=(-DCORVANE_SANITIZE=ON -DCORVANE_BENCH=OFF) # timings under the sanitizers mean nothing
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
    ;;
  tsan)
    dir=${BUILD_DIR:-build-tsan}
    options+=(-DCORVANE_TSAN=ON -DCORVANE_BENCH=OFF)
    target=(--target corvane_test_programs)
    ctest_args=(-L unit)
    export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
    export CXX=${CXX:-clang++}
    ;;
esac

if ! cmake -S . -B "$dir" "${options[@]}"; then
  echo "test.sh: configuring failed; the tests need cmake, g++ and libgtest-dev" \
       "(.ci/run installs everything)" >&2
  exit 1
fi
cmake --build "$dir" -j2 "${target[@]}"
ctest --test-dir "$dir" --output-on-failure -j2 "${ctest_args[@]}"

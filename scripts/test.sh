#!/usr/bin/env bash
# Configures, builds (2 jobs) and runs every test of the project.
#   scripts/test.sh             normal build in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
# BUILD_DIR=... overrides the build directory.
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=OFF
for arg in "$@"; do
  case "$arg" in
    --sanitize) sanitize=ON ;;
    -h | --help)
      sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'
      exit 0
      ;;
    *)
      echo "test.sh: unknown argument '$arg' (try --help)" >&2
      exit 2
      ;;
  esac
done

if [ "$sanitize" = ON ]; then
  dir=${BUILD_DIR:-build-asan}
  bench=OFF # timings under the sanitizers mean nothing
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
else
  dir=${BUILD_DIR:-build}
  bench=ON # built (not run) so that the benchmarks keep compiling
fi

if ! cmake -S . -B "$dir" -DCORVANE_SANITIZE="$sanitize" -DCORVANE_TESTS=ON -DCORVANE_BENCH="$bench"; then
  echo "test.sh: configuring failed; the tests need cmake, g++ and libgtest-dev" \
       "(.ci/run installs everything)" >&2
  exit 1
fi
cmake --build "$dir" -j2
ctest --test-dir "$dir" --output-on-failure -j2

#!/usr/bin/env bash
# Installs, on Debian, the packages a task needs when they are missing
# (apt-get as root, or through sudo); does nothing when all are there.
#   scripts/deps.sh build   the library and the command: cmake, g++, make
#   scripts/deps.sh tests   the above, GoogleTest, Perl's Palm modules (interop
#                           tests), pkg-config (the package test), pybind11, the
#                           Python headers and pytest (the Python module)
#   scripts/deps.sh clang   the above, clang and its sanitizer runtimes
#   scripts/deps.sh ci      the above, Google Benchmark and SQLite (benchmarks)
set -euo pipefail

level=${1:-build}
packages=(cmake g++ make)
case "$level" in
  build) ;;
  tests | clang | ci)
    packages+=(libgtest-dev libpalm-perl pkg-config python3-pybind11 python3-dev python3-pytest)
    if [ "$level" != tests ]; then packages+=(clang libclang-rt-14-dev); fi
    if [ "$level" = ci ]; then packages+=(libbenchmark-dev libsqlite3-dev); fi
    ;;
  -h | --help)
    sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
    ;;
  *)
    echo "deps.sh: unknown level '$level' (try --help)" >&2
    exit 2
    ;;
esac

if ! command -v dpkg-query >/dev/null; then
  echo "deps.sh: not a Debian system; install by hand: ${packages[*]}" >&2
  exit 0
fi
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ "${#missing[@]}" -eq 0 ] && exit 0

echo "deps.sh: installing ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "deps.sh: run as root or install sudo to install ${missing[*]}" >&2
    exit 1
  fi
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs, on Debian, the packages a task needs when they are missing
# (apt-get as root, or through sudo); does nothing when all are there.
#   scripts/deps.sh build   the library and the command: cmake, g++, make,
#                           SQLite's headers (export --format sqlite), libpng
#                           (the command's PNG output), zlib (zip archives
#                           among the rescue's inputs)
#   scripts/deps.sh tests   the above, GoogleTest, Perl's Palm modules (interop
#                           tests), python3-vobject and python3-icalendar (the
#                           vCard and iCalendar outputs are parsed back),
#                           pkg-config (the package test), the en_US.UTF-8 and
#                           de_DE.UTF-8 locales (collation tests), the sqlite3
#                           command (the SQLite export tests), netpbm and
#                           libjpeg-turbo-progs (independent picture readers),
#                           the zone data (iCalendar time zones), pybind11, the
#                           Python headers and pytest (the Python module),
#                           chromium, chromium-driver and python3-selenium
#                           (the rescue report's page in a headless browser)
#   scripts/deps.sh clang   the above, clang and its sanitizer runtimes
#   scripts/deps.sh ci      the above, Google Benchmark (benchmarks)
set -euo pipefail

level=${1:-build}
packages=(cmake g++ make libsqlite3-dev libpng-dev zlib1g-dev)
case "$level" in
  build) ;;
  tests | clang | ci)
    packages+=(libgtest-dev libpalm-perl python3-vobject python3-icalendar pkg-config locales sqlite3
      netpbm libjpeg-turbo-progs tzdata
      python3-pybind11 python3-dev python3-pytest
      chromium chromium-driver python3-selenium)
    if [ "$level" != tests ]; then packages+=(clang libclang-rt-14-dev); fi
    if [ "$level" = ci ]; then packages+=(libbenchmark-dev); fi
    ;;
  -h | --help)
    sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'
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
# The locales the collation tests sort in (they skip without them).
locales=()
if [ "$level" != build ]; then
  for l in en_US de_DE; do
    locale -a 2>/dev/null | grep -qi "^$l\.utf-\?8$" || locales+=("$l")
  done
fi
[ "${#missing[@]}" -eq 0 ] && [ "${#locales[@]}" -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "deps.sh: run as root or install sudo to install ${missing[*]} ${locales[*]}" >&2
    exit 1
  fi
  sudo=(sudo)
fi
if [ "${#missing[@]}" -ne 0 ]; then
  echo "deps.sh: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update
  "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
for l in "${locales[@]}"; do
  echo "deps.sh: generating the $l.UTF-8 locale"
  "${sudo[@]}" localedef -i "$l" -f UTF-8 "$l.UTF-8"
done

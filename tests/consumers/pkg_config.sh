#!/bin/sh
# Builds the consumer program with nothing but the compiler and
# `pkg-config --cflags --libs corvane` against an installed prefix, and runs it.
#   pkg_config.sh CXX PREFIX LIBDIR OUTDIR VERSION [EXTRA_FLAGS...]
set -eu
cxx=$1 prefix=$2 libdir=$3 out=$4 version=$5
shift 5
export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
mkdir -p "$out"
# shellcheck disable=SC2046 # the flags are words
"$cxx" "$@" "$(dirname "$0")/main.cpp" $(pkg-config --cflags --libs corvane) -o "$out/consumer"
"$out/consumer" "$version"

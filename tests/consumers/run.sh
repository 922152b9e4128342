#!/bin/sh
# Installs the build tree into a fresh prefix, then builds and runs two
# consumers that see only that prefix: C through pkg-config, C++ through
# find_package. usage: run.sh BUILD_DIR
set -eu
build=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null

pc_dir=$(dirname "$(find "$prefix" -name TolvimoWAVInstruments.pc)")
export PKG_CONFIG_PATH=$pc_dir
libdir=$(pkg-config --variable=libdir TolvimoWAVInstruments)
# shellcheck disable=SC2046
cc -std=c11 -Wall -Werror -I"$here" "$here/c_pkg_config.c" -o "$work/c_consumer" \
  $(pkg-config --cflags --libs TolvimoWAVInstruments) -Wl,-rpath,"$libdir"
"$work/c_consumer" "$work/c.wav" >/dev/null
echo "C consumer through pkg-config: same bytes"

cmake -S "$here/cxx_find_package" -B "$work/cxx" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cxx" >/dev/null
"$work/cxx/consumer" "$work/cxx.wav" >/dev/null
echo "C++ consumer through find_package: same bytes"

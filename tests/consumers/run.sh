#!/bin/sh
# Builds and runs the consumers of an installed library, each checking the
# bytes it renders: C through pkg-config, C++ through find_package, and the
# C example the -dev package ships, built as its comment says.
# usage: run.sh BUILD_DIR   installs the build tree into a fresh prefix and
#                           builds against that prefix alone
#        run.sh --system    builds against what is installed on the system
#                           (the Debian packages), with no search paths given
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ "$1" = "--system" ]; then
  rpath=""
  prefix_path=""
else
  prefix=$work/prefix
  cmake --install "$1" --prefix "$prefix" >/dev/null
  # The licence and the README travel with the files.
  for doc in LICENSE README.md; do
    cmp "$prefix/share/doc/TolvimoWAVInstruments/$doc" "$here/../../$doc"
  done
  PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name TolvimoWAVInstruments.pc)")
  export PKG_CONFIG_PATH
  rpath="-Wl,-rpath,$(pkg-config --variable=libdir TolvimoWAVInstruments)"
  prefix_path="-DCMAKE_PREFIX_PATH=$prefix"
fi

# shellcheck disable=SC2046,SC2086
cc -std=c11 -Wall -Werror -I"$here" "$here/c_pkg_config.c" -o "$work/c_consumer" \
  $(pkg-config --cflags --libs TolvimoWAVInstruments) $rpath
"$work/c_consumer" "$work/c.wav" >/dev/null
echo "C consumer through pkg-config: same bytes, through the sink and in the file"

# shellcheck disable=SC2046,SC2086
cc -std=c99 -Wall -Wextra -Werror "$here/../../examples/mix_chords.c" -o "$work/mix_chords" \
  $(pkg-config --cflags --libs TolvimoWAVInstruments) $rpath
(cd "$work" && ./mix_chords >/dev/null)
echo "examples/mix_chords.c: mixed into memory"

# shellcheck disable=SC2086
cmake -S "$here/cxx_find_package" -B "$work/cxx" $prefix_path >/dev/null
cmake --build "$work/cxx" >/dev/null
"$work/cxx/consumer" "$work/cxx.wav" >/dev/null
echo "C++ consumer through find_package: same bytes"

# shellcheck disable=SC2046,SC2086
cc -std=c11 -Wall -Wextra -Werror "$here/../../examples/render_arpeggio.c" -o "$work/render_arpeggio" \
  $(pkg-config --cflags --libs TolvimoWAVInstruments) $rpath
(cd "$work" && ./render_arpeggio >/dev/null)
if [ "$1" = "--system" ]; then program=wavinstruments; else program=$prefix/bin/wavinstruments; fi
"$program" piano C4E4G4C5 44100 "$work/program_chord.wav" >/dev/null
cmp "$work/arpeggio.wav" "$work/program_chord.wav"
echo "examples/render_arpeggio.c: the program's bytes"

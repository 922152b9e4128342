#!/bin/sh
# A preset row that breaks a voice limit fails the build with an error that
# names the limit and the row: a copy of the table gets one more row, its
# vibrato too deep, and is compiled.
# usage: preset_limit_error.sh CXX SOURCE_DIR
set -eu
cxx=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/synthesis"
cp "$source/synthesis/instrument_voice.h" "$work/synthesis/"
rows=$(grep -c '^    {"' "$source/synthesis/preset_table.h")
# The new row goes last, so its number (from 0) is the count of the others.
awk '
  /PRESETS\[\] = \{/ { table = 1 }
  table && /^};/ { print "    {\"deep\", 0.01, 0.1, 0.5, 0.1, 1, false, {1.0}, true, 0.5, 5.0},"; table = 0 }
  { print }
' "$source/synthesis/preset_table.h" >"$work/synthesis/preset_table.h"
echo '#include "synthesis/preset_table.h"' >"$work/row.cpp"
if "$cxx" -std=c++20 -fsyntax-only -I"$work" "$work/row.cpp" 2>"$work/errors"; then
  echo "a row with too deep a vibrato compiled"
  exit 1
fi
for wanted in vibrato_depth_outside_0_to_VOICE_MAX_VIBRATO_DEPTH "PRESETS\[$rows\]"; do
  grep -q "$wanted" "$work/errors" || { cat "$work/errors"; echo "the error does not name $wanted"; exit 1; }
done

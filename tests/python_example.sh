#!/bin/sh
# Runs the ctypes example against the built library and compares its file and
# report with the independent reference renderer's.
# usage: python_example.sh PYTHON LIBRARY SOURCE_DIR
set -eu
python=$1 library=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$python" "$source/examples/render_with_ctypes.py" --library "$library" violin "C#4Bb3" 8000 \
  "$work/out.wav" >"$work/report"
"$python" "$source/tests/reference/reference_renderer.py" violin "C#4Bb3" 8000 >"$work/expected.wav"
cmp "$work/out.wav" "$work/expected.wav"
printf 'Created %s with 8000 samples at 8000 Hz\nDuration: 1.00 seconds\nInstrument: violin\nstatus 999\n' \
  "$work/out.wav" | cmp - "$work/report"
set +e
"$python" "$source/examples/render_with_ctypes.py" --library "$library" violin "CDX" 8000 \
  "$work/bad.wav" >"$work/report"
status=$?
set -e
test "$status" -eq 1 && test ! -e "$work/bad.wav"
printf 'Error: Invalid note at position 2: X\nstatus 1\n' | cmp - "$work/report"
# A rate beyond 32 bits is refused before the call, not wrapped (4294975296
# would become 8000).
for rate in 4294975296 -2147483649; do
  set +e
  "$python" "$source/examples/render_with_ctypes.py" --library "$library" violin "C" "$rate" \
    "$work/wrapped.wav" >"$work/report" 2>"$work/error"
  status=$?
  set -e
  test "$status" -eq 2 && test ! -e "$work/wrapped.wav" && test ! -s "$work/report"
  grep -q 'does not fit in 32 bits' "$work/error"
done

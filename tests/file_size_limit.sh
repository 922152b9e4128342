#!/bin/sh
# A C host under a file size limit smaller than its file (`ulimit -f`): the
# call is refused with the cannot-write line before anything is opened, the
# old file stays, and SIGXFSZ never ends the host (exit status 153).
# Usage: file_size_limit.sh C_HOST
set -u
host=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf 'keep\n' >"$dir/out.wav"
(ulimit -f 4 && exec "$host" "$dir/out.wav") >"$dir/lines"
status=$?
fail=0
[ "$status" -eq 1 ] || { echo "exit status $status, expected 1 (153: killed by SIGXFSZ)"; fail=1; }
expected="Error: Cannot write output file '$dir/out.wav'"
[ "$(cat "$dir/lines")" = "$expected" ] || { echo "lines: $(cat "$dir/lines")"; fail=1; }
[ "$(cat "$dir/out.wav")" = keep ] || { echo "the old file changed"; fail=1; }
left=$(find "$dir" -mindepth 1 -printf '%f\n' | sort | tr '\n' ' ')
[ "$left" = "lines out.wav " ] || { echo "left: $left"; fail=1; }
exit $fail

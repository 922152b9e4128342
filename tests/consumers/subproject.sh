#!/bin/sh
# Builds tests/consumers/subproject against the source tree, once through
# add_subdirectory and once through FetchContent: each must link the ALIAS
# target, run, and list its one test and none of the library's.
#   subproject.sh SOURCE_DIR
set -eu
source=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for use in add_subdirectory FetchContent; do
  cmake -S "$source/tests/consumers/subproject" -B "$work/$use" -DTOLVIMO_SOURCE="$source" \
    -DTOLVIMO_USE="$use" >"$work/$use.log" 2>&1 || { cat "$work/$use.log"; exit 1; }
  cmake --build "$work/$use" --target consumer -j2 >>"$work/$use.log" 2>&1 ||
    { cat "$work/$use.log"; exit 1; }
  listed=$(cd "$work/$use" && ctest -N | sed -n 's/^ *Test *#[0-9]*: //p')
  [ "$listed" = "consumer_renders" ] || { echo "$use: ctest -N lists: $listed"; exit 1; }
  (cd "$work/$use" && ctest --output-on-failure >/dev/null)
  # The parent's build type stays its own: none given, none set.
  grep -q '^CMAKE_BUILD_TYPE:STRING=$' "$work/$use/CMakeCache.txt" ||
    { echo "$use: the build type was set"; exit 1; }
  echo "$use: the ALIAS target links, the program renders, ctest lists only the parent's test"
done

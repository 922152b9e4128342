#!/bin/sh
# Configures the tree as a machine without GoogleTest would: the configure
# succeeds with a one-line note, and the test command fails, saying what to
# install, rather than passing with no test run.
# usage: without_googletest.sh SOURCE_DIR
set -eu
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S "$1" -B "$work" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >"$work/configure.log"
grep -q "GoogleTest not found (Debian: libgtest-dev): the tests are not built" "$work/configure.log"
if ctest --test-dir "$work" --output-on-failure >"$work/test.log" 2>&1; then
  echo "the test command passed without GoogleTest"
  exit 1
fi
grep -q "Install it (Debian: libgtest-dev)" "$work/test.log"

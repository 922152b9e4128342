#!/bin/sh
# The C and C++ sources of a git checkout as .clang-format lays them out.
# Exits 77 (skipped) where clang-format or the checkout is missing.
# usage: format_check.sh SOURCE_DIR
set -eu
cd "$1"
if ! command -v clang-format >/dev/null; then
  echo "skipped: clang-format is not installed (Debian: clang-format)"
  exit 77
fi
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "skipped: not a git checkout, so which files are sources is unknown"
  exit 77
fi
git ls-files -z '*.cpp' '*.h' '*.c' | xargs -0 clang-format --dry-run --Werror

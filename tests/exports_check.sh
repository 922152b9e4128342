#!/bin/sh
# The one list of exports (cmake/exports.txt) against everything else that
# names them: the built shared library, the functions the public header
# exports, and the Debian symbols file.
#   exports_check.sh LIBRARY SOURCE_DIR
set -eu
library=$1
source=$2
expected=$(grep -v '^#' "$source/cmake/exports.txt" | sort)
failed=0
check() {
  if [ "$2" != "$expected" ]; then
    printf '%s does not match cmake/exports.txt:\n%s\n' "$1" "$2"
    failed=1
  fi
}
check "the shared library's exports" \
  "$(nm -D --defined-only "$library" | awk '{print $3}' | sort)"
# Each exported function's name starts the line after its return type.
check "the header's exported functions" \
  "$(grep -A1 '^TOLVIMO_WAV_INSTRUMENTS_API' "$source/include/TolvimoWAVInstruments.h" |
     sed -n 's/^\([A-Za-z_][A-Za-z0-9_]*\)(.*/\1/p' | sort)"
check "debian/libtolvimowavinstruments1.symbols" \
  "$(sed -n 's/^ \([A-Za-z_][A-Za-z0-9_]*\)@Base [0-9].*/\1/p' \
       "$source/debian/libtolvimowavinstruments1.symbols" | sort)"
[ "$failed" = 0 ] && echo "exports match cmake/exports.txt:" $expected
exit "$failed"

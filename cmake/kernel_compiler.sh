#!/bin/sh
# The library's compiler launcher where the vector kernels are compiled by
# clang++ (cmake/KernelCompiler.cmake):
#   kernel_compiler.sh CLANG UNIT... -- COMPILER ARGUMENT...
# A unit whose path ends in one of the UNITs is compiled by CLANG with the
# same arguments (definitions, flags, the floating-point contract); every
# other unit by COMPILER, unchanged.
set -eu
clang=$1
shift
units=
while [ "$1" != "--" ]; do
  units="$units $1"
  shift
done
shift

source=
previous=
for argument in "$@"; do
  if [ "$previous" = "-c" ]; then source=$argument; fi
  previous=$argument
done

for unit in $units; do
  case "$source" in
    */"$unit")
      shift
      # Debug information in the DWARF version valgrind reads, as the rest
      # of the build has it; GCC's warning names clang does not know are
      # not errors.
      debug=
      for argument in "$@"; do
        case "$argument" in -g | -g[0-9]) debug=-gdwarf-4 ;; esac
      done
      exec "$clang" -Wno-unknown-warning-option $debug "$@"
      ;;
  esac
done
exec "$@"

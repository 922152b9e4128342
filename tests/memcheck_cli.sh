#!/bin/sh
# Runs the command-line host under valgrind memcheck and passes when it exits
# with the expected status and valgrind found no error and no leak of any kind.
# usage: memcheck_cli.sh VALGRIND EXPECTED_EXIT WAVINSTRUMENTS ARGS...
valgrind=$1 expected=$2
shift 2
"$valgrind" --quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=all \
  --errors-for-leak-kinds=all "$@" >/dev/null
status=$?
if [ "$status" -ne "$expected" ]; then
  echo "exit status $status, expected $expected (99: valgrind found errors)"
  exit 1
fi

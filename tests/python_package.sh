#!/bin/sh
# Installs the Python package from python/ into a fresh virtual environment,
# offline, as a user would, and runs its tests there against the built
# library and host program.
# usage: python_package.sh PYTHON LIBRARY HOST SOURCE_DIR
set -eu
python=$1 library=$2 host=$3 source=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A copy, so that the build leaves nothing in the source tree. The system's
# site packages give the environment Debian's setuptools and pytest.
cp -R "$source/python" "$work/package"
"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --quiet --no-index --no-build-isolation "$work/package"
cd "$source/python"
# pytest exits 5 when it collected no test: a failure here like any other.
TOLVIMO_WAV_LIBRARY=$library TOLVIMO_WAVINSTRUMENTS=$host \
  "$work/venv/bin/python" -m pytest -q -p no:cacheprovider tests
# The tests imported the installed copy, not the sources.
TOLVIMO_WAV_LIBRARY=$library "$work/venv/bin/python" -c \
  'import sys, tolvimo_wav; sys.exit(not tolvimo_wav.__file__.startswith(sys.prefix))'

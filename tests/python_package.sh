#!/bin/sh
# Installs the Python package from python/ into a fresh virtual environment,
# offline, as a user would from a clone, and runs its tests there against the
# built command-line program.
# usage: python_package.sh PYTHON CORE_LIBRARY HOST SOURCE_DIR
# CORE_LIBRARY is a built libtolvimo_static.a of the same tree for the
# extension to link; "-" builds the core from the tree, as a plain
# `pip install ./python` does.
set -eu
python=$1 core=$2 host=$3 source=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A copy of the tree without its builds, so that the install leaves nothing
# in the source tree. The system's site packages give the environment
# Debian's setuptools, pybind11 and pytest.
mkdir "$work/tree"
tar -C "$source" --exclude=./build --exclude=./.git --exclude=node_modules --exclude=./venv \
  --exclude=./python/build --exclude='*.egg-info' -cf - . | tar -C "$work/tree" -xf -
"$python" -m venv --system-site-packages "$work/venv"
if [ "$core" = - ]; then
  "$work/venv/bin/python" -m pip install --quiet --no-index --no-build-isolation "$work/tree/python"
else
  TOLVIMO_CORE_LIBRARY=$core \
    "$work/venv/bin/python" -m pip install --quiet --no-index --no-build-isolation "$work/tree/python"
fi
cd "$source/python"
# pytest exits 5 when it collected no test: a failure here like any other.
TOLVIMO_WAVINSTRUMENTS=$host "$work/venv/bin/python" -m pytest -q -p no:cacheprovider tests
# The tests imported the installed copy, not the sources.
"$work/venv/bin/python" -c \
  'import sys, tolvimo_wav; sys.exit(not tolvimo_wav.__file__.startswith(sys.prefix))'

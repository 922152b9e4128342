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
# The given core is copied, so that a changed one can be put in its place.
if [ "$core" != - ]; then
  cp "$core" "$work/core.a"
  export TOLVIMO_CORE_LIBRARY="$work/core.a"
fi
install() {
  (cd "$work/tree" && "$work/venv/bin/pip" install --quiet --no-index --no-build-isolation ./python)
}
install
cd "$source/python"
# pytest exits 5 when it collected no test: a failure here like any other.
TOLVIMO_WAVINSTRUMENTS=$host "$work/venv/bin/python" -m pytest -q -p no:cacheprovider tests
# The tests imported the installed copy, not the sources.
"$work/venv/bin/python" -c \
  'import sys, tolvimo_wav; sys.exit(not tolvimo_wav.__file__.startswith(sys.prefix))'

# A changed core, installed again with the same command into the same
# tree, gives a module with the changed core: one line of the report edited
# in the sources (or, for a given core, in its bytes).
old='must be between' new='MUST BE between'
if [ "$core" = - ]; then
  sed -i "s/$old/$new/" "$work/tree/request/report.cpp"
  grep -q "$new" "$work/tree/request/report.cpp"
else
  "$python" - "$work/core.a" "$old" "$new" <<'EOF'
import pathlib, sys
path, old, new = pathlib.Path(sys.argv[1]), sys.argv[2].encode(), sys.argv[3].encode()
data = path.read_bytes()
assert data.count(old) == 1, "the line to change is not once in the core"
path.write_bytes(data.replace(old, new))
EOF
fi
install
"$work/venv/bin/python" - "$new" <<'EOF'
import sys, tolvimo_wav
try:
    tolvimo_wav.render_bytes("piano", "C", 1)
except tolvimo_wav.SampleRateOutOfRange as refused:
    sys.exit(None if sys.argv[1] in refused.line else f"the reinstalled module kept the old core: {refused.line}")
sys.exit("a sample rate of 1 was not refused")
EOF

#!/bin/sh
# The Python package's tests against its extension module built by this
# build, without installing anything: the package's sources are linked
# beside the module, which links the core of this tree.
# usage: python_binding.sh PYTHON PACKAGE_DIR HOST SOURCE_DIR
set -eu
python=$1 package=$2 host=$3 source=$4
find "$package" -type l -delete
for file in "$source"/python/src/tolvimo_wav/*; do
  if [ -f "$file" ]; then ln -s "$file" "$package/"; fi
done
cd "$source/python"
# Nothing compiled is written into the sources. The version the installed
# package's metadata gives is python_package's to check: nothing is installed.
PYTHONPATH="$(dirname "$package")" PYTHONDONTWRITEBYTECODE=1 TOLVIMO_WAVINSTRUMENTS=$host \
  exec "$python" -m pytest -q -p no:cacheprovider tests \
  --deselect tests/test_render.py::test_voices_and_version_are_the_projects

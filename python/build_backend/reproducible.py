"""The package's build backend: setuptools', with a wheel and an sdist that
depend only on the sources, not on when, where or by whom they are built.

Every member gets the time SOURCE_DATE_EPOCH (without it, the earliest time a
zip can hold), mode 644 (755 for folders and executables), no owner, and a
fixed order; the sdist's gzip header names no file and no time.
"""

import gzip
import importlib.util
import io
import os
import shutil
import stat
import sys
import sysconfig
import tarfile
import time
import zipfile
from typing import Any, Optional


def _needed(package: str) -> None:
    # One line naming the Debian package, instead of the traceback of an
    # import deep in the build (pip shows what the hook prints).
    sys.exit(f"{package} is needed: apt-get install {package}")


if importlib.util.find_spec("setuptools") is None:
    _needed("python3-setuptools")
# setup.py imports it for every hook, the metadata's included.
if importlib.util.find_spec("pybind11") is None:
    _needed("python3-pybind11")
# The wheel command, which setuptools before 70.1 takes from the package
# wheel, writes the metadata too.
if (importlib.util.find_spec("setuptools.command.bdist_wheel") is None
        and importlib.util.find_spec("wheel") is None):
    _needed("python3-wheel")

from setuptools import build_meta as _setuptools  # noqa: E402

# The hooks that write no archive are setuptools' own (older typing stubs lack
# the editable ones).
from setuptools.build_meta import (  # type: ignore[attr-defined] # noqa: F401
    build_editable,
    get_requires_for_build_editable,
    get_requires_for_build_sdist,
    get_requires_for_build_wheel,
    prepare_metadata_for_build_editable,
    prepare_metadata_for_build_wheel,
)

EARLIEST_ZIP_TIME = 315532800  # 1980-01-01 00:00 UTC


def _epoch() -> int:
    return int(os.environ.get("SOURCE_DATE_EPOCH", EARLIEST_ZIP_TIME))


def _zip_time() -> tuple[int, int, int, int, int, int]:
    # In UTC, whatever the time zone; a zip holds no time before 1980.
    year, month, day, hour, minute, second = time.gmtime(max(_epoch(), EARLIEST_ZIP_TIME))[:6]
    return year, month, day, hour, minute, second


def _mode(mode: int, is_dir: bool) -> int:
    return 0o755 if is_dir or mode & stat.S_IXUSR else 0o644


def _normalize_wheel(path: str) -> None:
    with zipfile.ZipFile(path) as old:
        members = [(info, old.read(info)) for info in old.infolist()]
    # The order is the wheel tool's (sorted, RECORD last); the times are UTC.
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as new:
        for info, data in members:
            fixed = zipfile.ZipInfo(info.filename, date_time=_zip_time())
            fixed.create_system = 3  # Unix modes, wherever it is built
            fixed.external_attr = (stat.S_IFREG | _mode(info.external_attr >> 16, False)) << 16
            fixed.compress_type = zipfile.ZIP_DEFLATED
            new.writestr(fixed, data)


def _normalize_sdist(path: str) -> None:
    with tarfile.open(path) as old:
        members = [
            (member, old.extractfile(member).read() if member.isfile() else None)  # type: ignore[union-attr]
            for member in old.getmembers()
        ]
    members.sort(key=lambda pair: pair[0].name)
    tar = io.BytesIO()
    with tarfile.open(fileobj=tar, mode="w", format=tarfile.PAX_FORMAT) as new:
        for member, data in members:
            member.mtime = _epoch()
            member.pax_headers = {}  # they would carry the times again
            member.uid = member.gid = 0
            member.uname = member.gname = ""
            member.mode = _mode(member.mode, member.isdir())
            new.addfile(member, None if data is None else io.BytesIO(data))
    with open(path, "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=_epoch()) as compressed:
            compressed.write(tar.getvalue())


def _check_wheel_tools() -> None:
    # What compiling the module takes: Python's headers, and CMake with a
    # C++ compiler for the library's core unless a built one is given.
    if not os.path.isfile(os.path.join(sysconfig.get_paths()["include"], "Python.h")):
        _needed("python3-dev")
    if not os.environ.get("TOLVIMO_CORE_LIBRARY"):
        if shutil.which("cmake") is None:
            _needed("cmake")
        if shutil.which("c++") is None and shutil.which("g++") is None:
            _needed("g++")


def build_wheel(
    wheel_directory: str, config_settings: Optional[dict[str, Any]] = None, metadata_directory: Optional[str] = None
) -> str:
    _check_wheel_tools()
    name = str(_setuptools.build_wheel(wheel_directory, config_settings, metadata_directory))
    _normalize_wheel(os.path.join(wheel_directory, name))
    return name


def build_sdist(sdist_directory: str, config_settings: Optional[dict[str, Any]] = None) -> str:
    name = str(_setuptools.build_sdist(sdist_directory, config_settings))
    _normalize_sdist(os.path.join(sdist_directory, name))
    return name

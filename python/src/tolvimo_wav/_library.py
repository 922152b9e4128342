"""Finds and loads the shared library, once, when the package is imported."""
from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys

ENVIRONMENT_VARIABLE = "TOLVIMO_WAV_LIBRARY"

_HOW_TO_INSTALL = (
    "install the TolvimoWAVInstruments library (its Debian package, or "
    "`cmake --install` followed by `ldconfig`), or set TOLVIMO_WAV_LIBRARY to the "
    "path of libTolvimoWAVInstruments.so (TolvimoWAVInstruments.dll on Windows)"
)


def _system_candidates() -> list[str]:
    if sys.platform == "win32":
        return ["TolvimoWAVInstruments.dll"]
    # The soname first: the loader's own search, without the subprocesses
    # that find_library starts.
    candidates = ["libTolvimoWAVInstruments.so.1"]
    found = ctypes.util.find_library("TolvimoWAVInstruments")
    if found is not None:
        candidates.append(found)
    return candidates


def _bind(library: ctypes.CDLL, where: str) -> ctypes.CDLL:
    try:
        entry = library.WAVInstruments
    except AttributeError as error:
        raise ImportError(f"{where} does not export WAVInstruments; {_HOW_TO_INSTALL}") from error
    # UTF-16 strings go in as byte buffers: c_wchar_p would be UTF-32 on Linux.
    entry.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int32, ctypes.c_char_p]
    entry.restype = ctypes.c_int32
    return library


def load() -> ctypes.CDLL:
    """The library from TOLVIMO_WAV_LIBRARY if set, else from the system's search."""
    path = os.environ.get(ENVIRONMENT_VARIABLE)
    if path:
        try:
            return _bind(ctypes.CDLL(path), path)
        except OSError as error:
            raise ImportError(
                f"{ENVIRONMENT_VARIABLE}={path!r} cannot be loaded ({error}); {_HOW_TO_INSTALL}"
            ) from error
    failures = []
    for candidate in _system_candidates():
        try:
            return _bind(ctypes.CDLL(candidate), candidate)
        except OSError as error:
            failures.append(str(error))
    raise ImportError(
        f"the TolvimoWAVInstruments library was not found ({'; '.join(failures)}); {_HOW_TO_INSTALL}"
    )

"""Renders a line of note text ("CDEFG", "C#4Bb3") as a mono 16-bit WAV file
with one of fifteen instrument voices, through the TolvimoWAVInstruments
shared library.

    import tolvimo_wav
    tolvimo_wav.render("piano", "CDEFG", 44100, "piano_scale.wav")
    wav = tolvimo_wav.render_bytes("bell", "C5G4", 48000)

The library prints its report (or its one error line) on the process's
standard output. A refused request raises a TolvimoError subclass whose
``code`` is the library's status. Calls may run on several threads at once:
the interpreter lock is released while the library renders.
"""
from __future__ import annotations

import operator
import os
import shutil
import sys
import tempfile
from typing import SupportsIndex

from ._errors import (
    STATUS_CREATED,
    RenderError,
    SampleRateNotInteger,
    SampleRateOutOfRange,
    TolvimoError,
    UnknownInstrument,
    error_for,
)
from ._generated import VOICES, __version__
from ._library import load as _load

__all__ = [
    "VOICES",
    "RenderError",
    "SampleRateOutOfRange",
    "TolvimoError",
    "UnknownInstrument",
    "__version__",
    "render",
    "render_bytes",
]

_LIBRARY = _load()

# The library takes the rate as a 32-bit signed integer. A larger one is
# clamped, never wrapped, so the library refuses it as out of range in its
# own order of checks (4294975296 would otherwise wrap to 8000).
_INT32_MIN = -(2**31)
_INT32_MAX = 2**31 - 1


def _shown(text: str) -> str:
    """A short repr for messages: arguments may be megabytes long."""
    return repr(text) if len(text) <= 60 else repr(text[:57]) + "..."


def _utf16(name: str, text: object) -> bytes:
    if not isinstance(text, str):
        raise TypeError(f"{name} must be a str, not {type(text).__name__}")
    if "\0" in text:
        raise ValueError(f"{name} contains U+0000, which the library's strings cannot carry")
    # An unpaired surrogate goes through as it is; the library reads it as U+FFFD.
    return text.encode("utf-16-le", "surrogatepass") + b"\0\0"


def _utf16_path(path: object) -> tuple[str, bytes]:
    if not isinstance(path, (str, os.PathLike)):
        raise TypeError(f"path must be a str or os.PathLike, not {type(path).__name__}")
    text = os.fspath(path)
    if not isinstance(text, str):
        raise TypeError(f"path must name a str path, not {type(text).__name__}")
    if "\0" in text:
        raise ValueError("path contains U+0000, which the library's strings cannot carry")
    try:
        encoded = text.encode("utf-16-le") + b"\0\0"
    except UnicodeEncodeError as error:
        # Read as U+FFFD, it would name a file the caller never named.
        raise ValueError(
            f"path {_shown(text)} holds an unpaired surrogate and names no file the library can open"
        ) from error
    return text, encoded


def _rate(sample_rate: object) -> int:
    # bool is an int to Python, but True is no sample rate.
    if isinstance(sample_rate, bool) or not isinstance(sample_rate, SupportsIndex):
        raise SampleRateNotInteger(
            f"sample_rate must be an int, not {type(sample_rate).__name__}", 333
        )
    rate = operator.index(sample_rate)
    return min(max(rate, _INT32_MIN), _INT32_MAX)


def _call(instrument: str, notes: str, sample_rate: object, path: object) -> str:
    """Checks the arguments, calls the library, raises on a refusal; returns the path."""
    arguments = (_utf16("instrument", instrument), _utf16("notes", notes), _rate(sample_rate))
    text_path, encoded_path = _utf16_path(path)
    # The library writes to the same standard output, below Python's buffer.
    if sys.stdout is not None:
        sys.stdout.flush()
    status = _LIBRARY.WAVInstruments(*arguments, encoded_path)
    if status == STATUS_CREATED:
        return text_path
    if status == 222:
        message = f"unknown instrument {_shown(instrument)}"
    elif status == 333:
        message = f"sample rate {sample_rate} is outside 8000 to 192000 Hz"
    else:
        message = (
            f"{_shown(notes)} was not rendered to {_shown(text_path)}: a character starts no "
            "note, the note text is 1000 bytes or longer, or the file cannot be opened or "
            "written (the library's line on standard output says which)"
        )
    raise error_for(status, message)


def render(instrument: str, notes: str, sample_rate: int, path: str | os.PathLike[str]) -> None:
    """Renders ``notes`` with ``instrument`` at ``sample_rate`` Hz into the WAV file ``path``.

    ``instrument`` is one of VOICES. The library prints a three-line report on
    standard output. Raises UnknownInstrument (222), SampleRateOutOfRange (333;
    also for a rate that is not an integer, which is then a TypeError too) or
    RenderError (1: a character starts no note, the note text is 1000 bytes or
    longer, or the file cannot be opened or written; a refused request leaves
    no file). Raises TypeError for a
    non-string argument and ValueError for a string containing U+0000 or a
    path holding an unpaired surrogate.
    """
    _call(instrument, notes, sample_rate, path)


def render_bytes(instrument: str, notes: str, sample_rate: int) -> bytes:
    """Renders like render() and returns the WAV file's bytes.

    The file goes through a private temporary folder that is removed before
    the call returns, whether it succeeds or raises. The report printed on
    standard output names that temporary file.
    """
    # Checked before the folder exists, so a wrong argument creates nothing.
    _utf16("instrument", instrument)
    _utf16("notes", notes)
    _rate(sample_rate)
    folder = tempfile.mkdtemp(prefix="tolvimo-wav-")
    try:
        path = _call(instrument, notes, sample_rate, os.path.join(folder, "render.wav"))
        with open(path, "rb") as wav:
            return wav.read()
    finally:
        shutil.rmtree(folder)

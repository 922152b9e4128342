"""Renders a line of note text ("CDEFG", "C#4Bb3") as a mono 16-bit WAV file
with one of fifteen instrument voices, through the TolvimoWAVInstruments
shared library.

    import tolvimo_wav
    tolvimo_wav.render("piano", "CDEFG", 44100, "piano_scale.wav")
    wav = tolvimo_wav.render_bytes("bell", "C5G4", 48000)
    samples, rate = tolvimo_wav.render_samples("bell", "C5G4", 48000, quiet=True)

A written file's three-line report is printed on ``sys.stdout`` (so a
notebook cell shows it); ``quiet=True`` keeps it off. A refused request raises
a TolvimoError subclass whose ``code`` is the library's status and whose
``line`` is the library's own error line; a RenderError for a bad note also
has ``position`` and ``character``, and one for a file ``reason``.

With glibc the library's lines are caught in memory: for the length of a
call the C runtime's standard output stream is one of the call's own (what
Python prints, or anything written to descriptor 1, is never caught; C code
printing through ``stdout`` on another thread meanwhile would be), and calls
from several threads take turns in the library. Elsewhere (musl, macOS, a Windows C runtime) the
library prints its lines on the process's standard output itself, ``quiet``
cannot keep them off, and an exception's ``line`` is None:
its message then says what the status can mean.
"""
from __future__ import annotations

import array
import difflib
import operator
import os
import shutil
import sys
from typing import NamedTuple, Optional, SupportsIndex

from . import _calls, _errors, _explain
from ._errors import (
    RenderError,
    SampleRateNotInteger,
    SampleRateOutOfRange,
    TolvimoError,
    UnknownInstrument,
)
from ._generated import VOICES, __version__
from ._library import load as _load

__all__ = [
    "VOICES",
    "RenderError",
    "SampleRateNotInteger",
    "SampleRateOutOfRange",
    "Samples",
    "TolvimoError",
    "UnknownInstrument",
    "__version__",
    "render",
    "render_bytes",
    "render_samples",
]

_LIBRARY = _load()

# The library takes the rate as a 32-bit signed integer. A larger one is
# clamped, never wrapped, so the library refuses it as out of range in its
# own order of checks (4294975296 would otherwise wrap to 8000).
_INT32_MIN = -(2**31)
_INT32_MAX = 2**31 - 1

_WITHOUT_LINE = {
    222: "unknown instrument {instrument}",
    333: "sample rate {rate} is outside 8000 to 192000 Hz",
    1: ("{notes} was not rendered to {path}: a character starts no note, the note text is "
        "1000 bytes or longer, the file cannot be opened or written, or memory ran out (the "
        "library's line on standard output says which)"),
}


class Samples(NamedTuple):
    """A rendering's samples, 16-bit signed mono, and its sample rate in Hz.

    ``samples`` is an ``array.array('h')`` in the machine's byte order:
    ``numpy.frombuffer(samples, dtype=numpy.int16)`` reads it without a copy.
    """

    samples: array.array
    sample_rate: int


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


def _refusal(outcome: _calls.Outcome, instrument: str, notes: str, sample_rate: object,
             path: Optional[str]) -> TolvimoError:
    if outcome.report is None:
        message = _WITHOUT_LINE.get(outcome.status, "the library returned status {status}").format(
            instrument=_shown(instrument), rate=sample_rate, notes=_shown(notes),
            path=_shown(path) if path is not None else "memory", status=outcome.status)
        return _errors.error_for(outcome.status, message)
    # One line, unless the name it quotes holds a line feed.
    line = outcome.report.rstrip("\n")
    error = _errors.error_for(outcome.status, line, line)
    if isinstance(error, RenderError):
        error.args = (_explain.explain_render_error(error, notes, path),)
    elif isinstance(error, UnknownInstrument):
        near = difflib.get_close_matches(instrument.lower(), VOICES, n=3, cutoff=0.6)
        suggestion = f"did you mean {' or '.join(map(repr, near))}? " if near else ""
        error.args = (f"{line} ({suggestion}tolvimo_wav.VOICES holds every name)",)
    elif isinstance(error, SampleRateOutOfRange):
        error.args = (f"{line} (sample_rate is {sample_rate})",)
    return error


def _show(report: Optional[str], quiet: bool) -> None:
    if report and not quiet and sys.stdout is not None:
        print(report, end="", file=sys.stdout)


def render(instrument: str, notes: str, sample_rate: int, path: str | os.PathLike[str], *,
           quiet: bool = False) -> None:
    """Renders ``notes`` with ``instrument`` at ``sample_rate`` Hz into the WAV file ``path``.

    ``instrument`` is one of VOICES. The library's three-line report goes to
    ``sys.stdout`` unless ``quiet``. Raises UnknownInstrument (222),
    SampleRateOutOfRange (333; also for a rate that is not an integer, which
    is then a TypeError too) or RenderError (1: a character starts no note,
    the note text is 1000 bytes or longer, the file cannot be opened or
    written, or memory ran out); a refused request leaves every file as it
    was. The exception's ``line`` is the library's own line; a RenderError
    for a bad note has ``position`` (an index into ``notes``) and
    ``character``, one for a file ``reason``. Raises TypeError for a
    non-string argument and ValueError for a string containing U+0000 or a
    path holding an unpaired surrogate.
    """
    arguments = (_utf16("instrument", instrument), _utf16("notes", notes), _rate(sample_rate))
    text_path, encoded_path = _utf16_path(path)
    outcome = _calls.call(_LIBRARY.WAVInstruments, *arguments, encoded_path)
    if outcome.status != _errors.STATUS_CREATED:
        raise _refusal(outcome, instrument, notes, sample_rate, text_path)
    _show(outcome.report, quiet)


def render_bytes(instrument: str, notes: str, sample_rate: int, *, quiet: bool = False) -> bytes:
    """Renders like render() and returns the WAV file's bytes.

    On Linux the library writes into an unnamed memory file, so TMPDIR plays
    no part and nothing is left behind; the report names the file
    ``<bytes>``. Elsewhere a private temporary folder is used, in TMPDIR or,
    when TMPDIR's path is too long for the library or not text, a usual one,
    and removed before the call returns.
    """
    arguments = (_utf16("instrument", instrument), _utf16("notes", notes), _rate(sample_rate))
    if _calls.in_memory():
        outcome = _calls.call(_LIBRARY.WAVInstruments, *arguments, None)
        if outcome.status != _errors.STATUS_CREATED:
            raise _refusal(outcome, instrument, notes, sample_rate, None)
        _show(_calls.shown_memory_path(outcome.report) if outcome.report else None, quiet)
        assert outcome.wav is not None
        return outcome.wav
    folder = _calls.private_folder()
    try:
        path = os.path.join(folder, "render.wav")
        render(instrument, notes, sample_rate, path, quiet=quiet)
        with open(path, "rb") as wav:
            return wav.read()
    finally:
        shutil.rmtree(folder)


def render_samples(instrument: str, notes: str, sample_rate: int, *,
                   quiet: bool = False) -> Samples:
    """Renders like render_bytes() and returns the samples with the rate."""
    wav = render_bytes(instrument, notes, sample_rate, quiet=quiet)
    samples = array.array("h", wav[44:])  # the header is always 44 bytes
    if sys.byteorder == "big":
        samples.byteswap()  # WAV samples are little-endian
    return Samples(samples, operator.index(sample_rate))

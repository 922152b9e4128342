"""Renders a line of note text ("CDEFG", "C#4Bb3") as a mono 16-bit WAV file
with one of the TolvimoWAVInstruments library's instrument voices. The
library's core is compiled into the package's extension module.

    import tolvimo_wav
    result = tolvimo_wav.render("piano", "CDEFG", 44100, "piano_scale.wav")
    print(result.report, end="")
    wav = tolvimo_wav.render_bytes("bell", "C5G4", 48000)
    samples, rate = tolvimo_wav.render_samples("bell", "C5G4", 48000)

Nothing is printed: ``render`` returns the library's report in its result,
and ``quiet=False`` prints it on ``sys.stdout`` as well. A refused request
raises a TolvimoError subclass whose ``code`` is the library's status and
whose ``line`` is the library's own error line; ``position``, ``character``,
``hint`` and ``reason`` say more where the refusal has them. Each is also the
built-in exception for its like: a bad argument value a ValueError, a file
that cannot be opened or written an OSError (FileNotFoundError, ...) with
errno, strerror and filename, no memory a MemoryError.

Calls release the interpreter's lock while the library renders, so calls on
several threads run at once, and they touch no process-wide state.
"""
from __future__ import annotations

import array
import operator
import os
import sys
from typing import NamedTuple, SupportsIndex, Union

from . import _core, _errors
from ._errors import (
    InvalidNote,
    NoteTextTooLong,
    OutOfMemory,
    OutputError,
    OutputFileExistsError,
    OutputFileNotFoundError,
    OutputIsADirectoryError,
    OutputNotADirectoryError,
    OutputPermissionError,
    RenderError,
    SampleRateNotInteger,
    SampleRateOutOfRange,
    TolvimoError,
    UnknownInstrument,
)
from ._generated import (
    MAX_INSTRUMENT_NAME_BYTES,
    MAX_NOTE_TEXT_BYTES,
    MAX_OUTPUT_PATH_BYTES,
    MAX_SAMPLE_RATE,
    MIN_SAMPLE_RATE,
    NOTE_SECONDS,
    REFUSAL_KINDS,
    STATUS_BAD_SAMPLE_RATE,
    STATUS_CREATED,
    VOICES,
    RefusalKind,
    __version__,
)

__all__ = [
    "MAX_INSTRUMENT_NAME_BYTES",
    "MAX_NOTE_TEXT_BYTES",
    "MAX_OUTPUT_PATH_BYTES",
    "MAX_SAMPLE_RATE",
    "MIN_SAMPLE_RATE",
    "NOTE_SECONDS",
    "REFUSAL_KINDS",
    "VOICES",
    "InvalidNote",
    "NoteTextTooLong",
    "OutOfMemory",
    "OutputError",
    "OutputFileExistsError",
    "OutputFileNotFoundError",
    "OutputIsADirectoryError",
    "OutputNotADirectoryError",
    "OutputPermissionError",
    "RefusalKind",
    "Rendered",
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


class Rendered(NamedTuple):
    """A written file: its path, the voice, the samples written and the
    rate, and ``report``, the library's three lines about it (each ending in
    a line feed)."""

    path: str
    instrument: str
    sample_count: int
    sample_rate: int
    report: str


class Samples(NamedTuple):
    """A rendering's samples, 16-bit signed mono, and its sample rate in Hz.

    ``samples`` is an ``array.array('h')`` in the machine's byte order:
    ``numpy.frombuffer(samples, dtype=numpy.int16)`` reads it without a copy.
    """

    samples: array.array[int]
    sample_rate: int


def _text(name: str, text: object) -> str:
    # A U+0000, and an unpaired surrogate in a path, are refused by the
    # extension, which reads the string's code points itself.
    if not isinstance(text, str):
        raise TypeError(f"{name} must be a str, not {type(text).__name__}")
    return text


def _path(path: object) -> str:
    if not isinstance(path, (str, os.PathLike)):
        raise TypeError(f"path must be a str or os.PathLike, not {type(path).__name__}")
    text = os.fspath(path)
    if not isinstance(text, str):
        raise TypeError(f"path must name a str path, not {type(text).__name__}")
    return text


def _rate(sample_rate: SupportsIndex) -> int:
    # Any integer, as operator.index takes it: an int, a numpy integer, a
    # bool (True is 1 Hz, which the library refuses as out of range).
    try:
        return operator.index(sample_rate)
    except TypeError:
        raise SampleRateNotInteger(
            f"sample_rate must be an integer, not {type(sample_rate).__name__}",
            STATUS_BAD_SAMPLE_RATE) from None


def _show(report: str, quiet: bool) -> None:
    if not quiet and sys.stdout is not None:
        print(report, end="", file=sys.stdout)


def render(instrument: str, notes: str, sample_rate: SupportsIndex,
           path: Union[str, os.PathLike[str]], *, quiet: bool = True) -> Rendered:
    """Renders ``notes`` with ``instrument`` at ``sample_rate`` Hz into the WAV file ``path``.

    ``instrument`` is one of VOICES. Returns the file's facts with the
    library's report, which ``quiet=False`` also prints on ``sys.stdout``.
    ``sample_rate`` is any integer ``operator.index`` takes (an int, a numpy
    integer). Raises UnknownInstrument (222), SampleRateOutOfRange (333; also
    for a rate that is not an integer, which is then a TypeError too) or
    RenderError (1: not written for another reason, which its ``kind`` and
    ``line`` give); a refused request leaves every file as it was. Raises
    TypeError for a non-string argument and ValueError for a string
    containing U+0000 or a path holding an unpaired surrogate.
    """
    arguments = (_text("instrument", instrument), _text("notes", notes), _rate(sample_rate))
    text_path = _path(path)
    outcome = _core.render_file(*arguments, text_path)
    if outcome.status != STATUS_CREATED:
        raise _errors.refusal(outcome, sample_rate, text_path)
    _show(outcome.lines, quiet)
    return Rendered(text_path, outcome.voice or "", outcome.sample_count, outcome.sample_rate,
                    outcome.lines)


def _in_memory(instrument: str, notes: str, sample_rate: SupportsIndex, samples: bool,
               quiet: bool) -> _core.Outcome:
    arguments = (_text("instrument", instrument), _text("notes", notes), _rate(sample_rate))
    outcome = _core.render_memory(*arguments, samples)
    if outcome.status != STATUS_CREATED:
        raise _errors.refusal(outcome, sample_rate)
    _show(outcome.lines, quiet)
    return outcome


def render_bytes(instrument: str, notes: str, sample_rate: SupportsIndex, *,
                 quiet: bool = True) -> bytes:
    """Renders like render() and returns the WAV file's bytes, made in memory:
    no file is opened. The report (printed with ``quiet=False``) names no
    file: where render()'s names the path, it says ``<memory>``, as in
    ``Created <memory> with 110250 samples at 44100 Hz``."""
    wav = _in_memory(instrument, notes, sample_rate, False, quiet).data
    assert isinstance(wav, bytes)
    return wav


def render_samples(instrument: str, notes: str, sample_rate: SupportsIndex, *,
                   quiet: bool = True) -> Samples:
    """Renders like render_bytes() and returns the samples with the rate. The
    library writes them straight into the array."""
    outcome = _in_memory(instrument, notes, sample_rate, True, quiet)
    samples = outcome.data
    assert isinstance(samples, array.array)
    return Samples(samples, outcome.sample_rate)

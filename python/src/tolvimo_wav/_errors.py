"""The exceptions a refused request raises, one class per library status,
filled from the outcome's facts."""
from __future__ import annotations

import errno
import os
from typing import Any, Optional

from . import _core
from ._generated import (
    MAX_OUTPUT_PATH_BYTES,
    STATUS_BAD_SAMPLE_RATE,
    STATUS_FAILED,
    STATUS_UNKNOWN_INSTRUMENT,
    RefusalKind,
)


class TolvimoError(Exception):
    """A request the library refused.

    ``code`` is the library's status and ``line`` its own error line, word
    for word; ``kind`` names the refusal (``"invalid_note"``,
    ``"cannot_open"``, ...: one of tolvimo_wav.REFUSAL_KINDS, typed as
    tolvimo_wav.RefusalKind). ``position``,
    ``character``, ``hint`` and ``reason`` are set where the refusal has
    them (see RenderError and UnknownInstrument), else None.

    Each refusal is also the exception Python raises for its like: a bad
    argument value a ValueError, a file that cannot be opened or written an
    OSError (FileNotFoundError, PermissionError, ...), no memory a
    MemoryError.
    """

    code: int
    line: Optional[str]
    kind: Optional[RefusalKind] = None
    position: Optional[int] = None
    character: Optional[str] = None
    hint: Optional[str] = None
    reason: Optional[str] = None

    def __init__(self, message: str, code: int, line: Optional[str] = None) -> None:
        super().__init__(message)
        self.code = code
        self.line = line

    def __str__(self) -> str:
        # The message, also where OSError would word errno and filename.
        return str(self.args[0]) if self.args else ""

    def __reduce__(self) -> tuple[Any, ...]:
        # Whole across pickling (a process pool's worker to its caller), with
        # the attributes the refusal set, OSError's among them.
        state = dict(self.__dict__)
        if isinstance(self, OSError):
            state.update(errno=self.errno, strerror=self.strerror, filename=self.filename)
        return type(self), (str(self), self.code, self.line), state


class UnknownInstrument(TolvimoError, ValueError):
    """No voice has that name (status 222). ``suggestions`` holds the voices
    the name was probably meant to be, best first (maybe none), and
    ``hint`` says so in words, or the arguments' order where the name reads
    as notes."""

    suggestions: tuple[str, ...] = ()


class SampleRateOutOfRange(TolvimoError, ValueError):
    """The rate is outside the library's range (status 333)."""


class SampleRateNotInteger(SampleRateOutOfRange, TypeError):
    """The rate is not an integer: out of range (status 333) and a TypeError."""


class RenderError(TolvimoError):
    """Status 1: not written for another reason, which ``kind`` names and
    ``line`` words; each kind is raised as its subclass below.

    For a bad note (InvalidNote), ``position`` is the index of the
    offending character in the notes string (``notes[error.position] ==
    error.character``), ``byte_position`` the library's position (the same
    number: every character before it is a one-byte note character) and
    ``hint`` what to write instead; all are None otherwise. For a file that
    cannot be opened or written (OutputError), ``reason`` says why in the
    system's words, or is None when no reason is known.
    """

    byte_position: Optional[int] = None


class InvalidNote(RenderError, ValueError):
    """A character of the notes starts no note (status 1)."""


class NoteTextTooLong(RenderError, ValueError):
    """The note text is MAX_NOTE_TEXT_BYTES bytes long or longer (status 1)."""


class OutOfMemory(RenderError, MemoryError):
    """Memory for the request ran out (status 1)."""


class OutputError(RenderError, OSError):
    """The file cannot be opened or written (status 1). ``errno``,
    ``strerror`` and ``filename`` are set as open() sets them (``errno``
    None when the system gave none), and the class is the OSError subclass
    open() would raise for the errno: OutputFileNotFoundError,
    OutputPermissionError, OutputIsADirectoryError,
    OutputNotADirectoryError, OutputFileExistsError, or this class."""


class OutputFileNotFoundError(OutputError, FileNotFoundError):
    """The file or its folder does not exist (ENOENT)."""


class OutputPermissionError(OutputError, PermissionError):
    """The file or its folder may not be written (EACCES, EPERM)."""


class OutputIsADirectoryError(OutputError, IsADirectoryError):
    """The path names a folder (EISDIR)."""


class OutputNotADirectoryError(OutputError, NotADirectoryError):
    """A folder of the path is a file (ENOTDIR)."""


class OutputFileExistsError(OutputError, FileExistsError):
    """The file is in the way (EEXIST)."""


_OUTPUT_CLASSES: dict[type[OSError], type[OutputError]] = {
    FileNotFoundError: OutputFileNotFoundError,
    PermissionError: OutputPermissionError,
    IsADirectoryError: OutputIsADirectoryError,
    NotADirectoryError: OutputNotADirectoryError,
    FileExistsError: OutputFileExistsError,
}

_KIND_CLASSES: dict[str, type[TolvimoError]] = {
    "unknown_instrument": UnknownInstrument,
    "bad_sample_rate": SampleRateOutOfRange,
    "invalid_note": InvalidNote,
    "note_text_too_long": NoteTextTooLong,
    "out_of_memory": OutOfMemory,
}

_CLASSES: dict[int, type[TolvimoError]] = {
    STATUS_UNKNOWN_INSTRUMENT: UnknownInstrument,
    STATUS_BAD_SAMPLE_RATE: SampleRateOutOfRange,
    STATUS_FAILED: RenderError,
}


def _output_error(outcome: _core.Outcome,
                  path: Optional[str]) -> tuple[type[TolvimoError], Optional[int]]:
    # The errno open() would give: the system's, or for a path the library
    # finds too long, ENAMETOOLONG; None when no reason is known.
    number: Optional[int] = outcome.system_error or None
    if number is None and path is not None and len(path.encode()) > MAX_OUTPUT_PATH_BYTES:
        number = errno.ENAMETOOLONG
    if number is None:
        return OutputError, None
    return _OUTPUT_CLASSES.get(type(OSError(number, "")), OutputError), number


def refusal(outcome: _core.Outcome, sample_rate: object,
            path: Optional[str] = None) -> TolvimoError:
    """The exception for an outcome that is not a written file; ``path`` is
    the file a render into a file was asked to write."""
    line = outcome.lines.rstrip("\n")
    # The line on one line: a tab or line feed in a name it quotes escaped.
    shown = outcome.shown_line
    message = shown
    kind = outcome.kind
    assert kind != "none", "a written file is no refusal"
    number: Optional[int] = None
    cls: type[TolvimoError]
    if kind in ("cannot_open", "cannot_write"):
        cls, number = _output_error(outcome, path)
    else:
        cls = _KIND_CLASSES.get(kind, _CLASSES.get(outcome.status, TolvimoError))
    error = cls(line, outcome.status, line)
    error.kind = kind
    if isinstance(error, UnknownInstrument):
        error.suggestions = outcome.suggestions
        error.hint = outcome.hint
        message = f"{shown} ({error.hint})"
    elif isinstance(error, SampleRateOutOfRange):
        message = f"{shown} (sample_rate is {sample_rate})"
    elif outcome.kind == "invalid_note":
        error.position = outcome.position
        error.character = outcome.character
        error.hint = outcome.hint
        if isinstance(error, RenderError):
            error.byte_position = outcome.position
        message = f"{shown}\nnotes[{outcome.position}] is {outcome.character_name}: {outcome.hint}"
    elif outcome.kind == "note_text_too_long":
        message = f"{shown} (the notes are {outcome.note_text_bytes} bytes)"
    elif outcome.reason is not None:
        error.reason = outcome.reason
        message = f"{shown} ({outcome.reason})"
    if isinstance(error, OSError):
        # As open() sets them; without the system's errno, the reason alone.
        if number is not None:
            error.errno = number
            error.strerror = os.strerror(number)
        elif outcome.reason is not None:
            error.strerror = outcome.reason
        error.filename = path
    error.args = (message,)
    return error

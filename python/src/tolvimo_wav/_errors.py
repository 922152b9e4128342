"""The exceptions a refused request raises, one class per library status."""
from __future__ import annotations

from typing import Optional


class TolvimoError(Exception):
    """A request the library refused.

    ``code`` is the library's status. ``line`` is the library's own error line,
    word for word (``"Error: Unknown instrument 'Piano'"``), or None where the
    library's output cannot be caught (see the package's documentation); the
    message then says what the status can mean.
    """

    code: int
    line: Optional[str]

    def __init__(self, message: str, code: int, line: Optional[str] = None) -> None:
        super().__init__(message)
        self.code = code
        self.line = line


class UnknownInstrument(TolvimoError):
    """No voice has that name (status 222)."""


class SampleRateOutOfRange(TolvimoError):
    """The rate is outside 8000 to 192000 Hz (status 333)."""


class SampleRateNotInteger(SampleRateOutOfRange, TypeError):
    """The rate is not an integer: out of range (status 333) and a TypeError."""


class RenderError(TolvimoError):
    """Status 1: a character starts no note, the note text is 1000 bytes or longer,
    the file cannot be opened or written, or memory ran out.

    For a bad note, ``position`` is the index of the offending character in
    the notes string (``notes[error.position] == error.character``) and
    ``byte_position`` the library's position, counted in bytes of its 8-bit
    text; all three are None otherwise. For a file that cannot be opened or
    written, ``reason`` says why in the system's words where that can be seen
    without touching any file ("No such file or directory", "Is a directory"),
    else None.
    """

    position: Optional[int] = None
    byte_position: Optional[int] = None
    character: Optional[str] = None
    reason: Optional[str] = None


STATUS_CREATED = 999

_CLASSES: dict[int, type[TolvimoError]] = {
    222: UnknownInstrument,
    333: SampleRateOutOfRange,
    1: RenderError,
}


def error_for(status: int, message: str, line: Optional[str] = None) -> TolvimoError:
    """The exception for a status other than STATUS_CREATED."""
    return _CLASSES.get(status, TolvimoError)(message, status, line)

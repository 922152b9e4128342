"""The exceptions a refused request raises, one class per library status."""
from __future__ import annotations


class TolvimoError(Exception):
    """A request the library refused. ``code`` is the library's status."""

    code: int

    def __init__(self, message: str, code: int) -> None:
        super().__init__(message)
        self.code = code


class UnknownInstrument(TolvimoError):
    """No voice has that name (status 222)."""


class SampleRateOutOfRange(TolvimoError):
    """The rate is outside 8000 to 192000 Hz (status 333)."""


class SampleRateNotInteger(SampleRateOutOfRange, TypeError):
    """The rate is not an integer: out of range (status 333) and a TypeError."""


class RenderError(TolvimoError):
    """Status 1: a character starts no note, the note text is 1000 bytes or longer,
    or the file cannot be opened or written."""


STATUS_CREATED = 999

_CLASSES: dict[int, type[TolvimoError]] = {
    222: UnknownInstrument,
    333: SampleRateOutOfRange,
    1: RenderError,
}


def error_for(status: int, message: str) -> TolvimoError:
    """The exception for a status other than STATUS_CREATED."""
    return _CLASSES.get(status, TolvimoError)(message, status)

"""The exceptions a refused request raises, one class per library status,
filled from the outcome's facts."""
from __future__ import annotations

from typing import Any, Optional

from . import _core
from ._generated import (
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

    def __reduce__(self) -> tuple[Any, ...]:
        # Whole across pickling (a process pool's worker to its caller), with
        # the attributes the refusal set.
        return type(self), (str(self), self.code, self.line), self.__dict__


class UnknownInstrument(TolvimoError):
    """No voice has that name (status 222). ``suggestions`` holds the voices
    the name was probably meant to be, best first (maybe none), and
    ``hint`` says so in words."""

    suggestions: tuple[str, ...] = ()


class SampleRateOutOfRange(TolvimoError):
    """The rate is outside the library's range (status 333)."""


class SampleRateNotInteger(SampleRateOutOfRange, TypeError):
    """The rate is not an integer: out of range (status 333) and a TypeError."""


class RenderError(TolvimoError):
    """Status 1: not written for another reason, which ``kind`` names and
    ``line`` words.

    For a bad note, ``position`` is the index of the offending character in
    the notes string (``notes[error.position] == error.character``),
    ``byte_position`` the library's position (the same number: every
    character before it is a one-byte note character) and ``hint`` what to
    write instead; all are None otherwise. For a file that cannot be opened
    or written, ``reason`` says why in the system's words, or is None when
    no reason is known.
    """

    byte_position: Optional[int] = None


_CLASSES: dict[int, type[TolvimoError]] = {
    STATUS_UNKNOWN_INSTRUMENT: UnknownInstrument,
    STATUS_BAD_SAMPLE_RATE: SampleRateOutOfRange,
    STATUS_FAILED: RenderError,
}


def _suggestion(names: tuple[str, ...]) -> str:
    if not names:
        return "tolvimo_wav.VOICES holds every name"
    return f"did you mean {' or '.join(map(repr, names))}? tolvimo_wav.VOICES holds every name"


def refusal(outcome: _core.Outcome, sample_rate: object) -> TolvimoError:
    """The exception for an outcome that is not a written file."""
    # One line, unless the name it quotes holds a line feed.
    line = outcome.lines.rstrip("\n")
    message = line
    error = _CLASSES.get(outcome.status, TolvimoError)(line, outcome.status, line)
    kind = outcome.kind
    assert kind != "none", "a written file is no refusal"
    error.kind = kind
    if isinstance(error, UnknownInstrument):
        error.suggestions = outcome.suggestions
        error.hint = _suggestion(outcome.suggestions)
        message = f"{line} ({error.hint})"
    elif isinstance(error, SampleRateOutOfRange):
        message = f"{line} (sample_rate is {sample_rate})"
    elif outcome.kind == "invalid_note":
        error.position = outcome.position
        error.character = outcome.character
        error.hint = outcome.hint
        if isinstance(error, RenderError):
            error.byte_position = outcome.position
        message = f"{line}\nnotes[{outcome.position}] is {outcome.character_name}: {outcome.hint}"
    elif outcome.kind == "note_text_too_long":
        message = f"{line} (the notes are {outcome.note_text_bytes} bytes)"
    elif outcome.reason is not None:
        error.reason = outcome.reason
        message = f"{line} ({outcome.reason})"
    error.args = (message,)
    return error

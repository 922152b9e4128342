"""What a refusal means, in words a person can act on: the bad note's
character and place, and why a file cannot be opened or written."""
from __future__ import annotations

import errno
import os
import re
import sys
from typing import Optional

from ._errors import RenderError

PATH_CAPACITY = 200  # bytes of the library's 8-bit path, terminator included

_INVALID_NOTE = re.compile(r"Error: Invalid note at position (\d+): ")
_BLANKS = " \t\n\r\u00a0\u3000" + "".join(chr(c) for c in range(0x2000, 0x200C))
_SEPARATORS = ",;.:-_|/+"
_NAMES = {" ": "' ' (space)", "\t": "U+0009 (tab)", "\n": "U+000A (line feed)",
          "\r": "U+000D (carriage return)", "\u00a0": "U+00A0 (no-break space)"}


def _narrow_width(character: str) -> int:
    """Bytes the library's 8-bit text spends on one character."""
    if sys.platform == "win32":
        return 1  # the ANSI code page: one byte, or the default character '?'
    if 0xD800 <= ord(character) <= 0xDFFF:
        return 3  # an unpaired surrogate becomes U+FFFD
    return len(character.encode("utf-8"))


def _characters(text: str) -> list[tuple[int, str]]:
    """Each character of ``text`` as the library sees it, with its index in ``text``."""
    found = []
    index = 0
    while index < len(text):
        pair = text[index:index + 2]
        if len(pair) == 2 and "\ud800" <= pair[0] <= "\udbff" and "\udc00" <= pair[1] <= "\udfff":
            found.append((index, pair.encode("utf-16-le", "surrogatepass").decode("utf-16-le")))
            index += 2
        else:
            found.append((index, text[index]))
            index += 1
    return found


def narrow_length(text: str) -> int:
    return sum(_narrow_width(character) for _, character in _characters(text))


def _named(character: str) -> str:
    code = ord(character)
    if character in _NAMES:
        return _NAMES[character]
    if code < 0x20 or code == 0x7F:
        return f"U+{code:04X} (a control character)"
    if code < 0x80:
        return f"'{character}'"
    if character in _BLANKS:
        return f"U+{code:04X} (a space)"
    if 0xD800 <= code <= 0xDFFF:
        return f"U+{code:04X} (an unpaired surrogate, read as U+FFFD)"
    return f"'{character}' (U+{code:04X})"


def _hint(character: str, before: str) -> str:
    if character in "#b" and before and (before in "#b" or before.isdigit()):
        return "a note takes one # or b before its octave digit and one more after it"
    if "a" <= character <= "g":
        return f"note letters are upper case: write '{character.upper()}'"
    if character in _BLANKS or character in _SEPARATORS:
        return "write the notes with nothing between them, as in 'C4D4E4'"
    if character == "9":
        return "octave digits run from 0 to 8"
    return ("a note is a letter A to G, then optionally # or b, an octave digit 0 to 8 and, "
            "after the digit, one more # or b")


def _folder_of(path: str) -> str:
    return os.path.dirname(path) or "."


def why_cannot_open(path: str) -> Optional[str]:
    """Why ``path`` cannot be opened, found without creating or changing anything."""
    if path == "":
        return os.strerror(errno.ENOENT)
    size = narrow_length(path)
    if size >= PATH_CAPACITY:
        return f"the path is {size} bytes long; it must be shorter than {PATH_CAPACITY}"
    try:
        if os.path.isdir(path):
            return os.strerror(errno.EISDIR)
        if os.path.lexists(path) and not os.access(path, os.W_OK):
            return os.strerror(errno.EACCES)
    except (OSError, ValueError):
        return None
    folder = _folder_of(path)
    try:
        if not os.path.isdir(folder):
            problem = errno.ENOTDIR if os.path.exists(folder) else errno.ENOENT
            return f"folder {folder!r}: {os.strerror(problem)}"
        if not os.access(folder, os.W_OK | os.X_OK):
            return f"folder {folder!r}: {os.strerror(errno.EACCES)}"
    except (OSError, ValueError):
        return None
    return None


def why_cannot_write(path: str) -> Optional[str]:
    """No free block on the file's filesystem, or a file size limit."""
    try:
        if os.statvfs(_folder_of(path)).f_bavail == 0:
            return os.strerror(errno.ENOSPC)
    except (OSError, AttributeError, ValueError):
        pass
    try:
        import resource
    except ImportError:
        return None
    limit = resource.getrlimit(resource.RLIMIT_FSIZE)[0]
    if limit != resource.RLIM_INFINITY:
        return f"{os.strerror(errno.EFBIG)}: the file size limit is {limit} bytes"
    return None


def explain_render_error(error: RenderError, notes: str, path: Optional[str]) -> str:
    """Fills ``error``'s attributes from its line; returns the message to raise it with."""
    line = error.line or ""
    match = _INVALID_NOTE.match(line)
    if match:
        error.byte_position = int(match.group(1))
        bytes_seen = 0
        before = ""
        for index, character in _characters(notes):
            if bytes_seen == error.byte_position:
                error.position, error.character = index, character
                return (f"{line}\nnotes[{index}] is {_named(character)}: "
                        f"{_hint(character, before)}")
            bytes_seen += _narrow_width(character)
            before = character
        return line
    if line.startswith("Error: Note text must be shorter than"):
        return f"{line} (the notes are {narrow_length(notes)} bytes)"
    if path is not None and line.startswith("Error: Cannot open output file"):
        error.reason = why_cannot_open(path)
    elif path is not None and line.startswith("Error: Cannot write output file"):
        error.reason = why_cannot_write(path)
    return f"{line} ({error.reason})" if error.reason else line

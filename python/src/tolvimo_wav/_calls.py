"""Calling the library so that its lines can be caught, from any thread.

The library prints its lines on the C runtime's standard output. Pointing
descriptor 1 elsewhere around a call would also catch (or lose) what other
threads print meanwhile, with print() or anything else. With glibc, the C
runtime's ``stdout`` (a pointer to its stream) is pointed at a memory stream
of the call's own for the length of the call instead, which leaves
descriptor 1 and everything written to it alone; since that pointer is one
for the process, calls take turns in the library. Only C code that prints
through ``stdout`` on another thread during a call would see its output
caught with the call's.

Where that cannot be had (another C library, macOS, a Windows C runtime, whose
``stdout`` is no variable), calls run as they are and the library prints on
the process's standard output itself.
"""
from __future__ import annotations

import ctypes
import errno
import os
import sys
import tempfile
import threading
from typing import Callable, NamedTuple, Optional

from ._explain import PATH_CAPACITY, narrow_length

_PROCESS_FDS = "/proc/self/fd"


class Outcome(NamedTuple):
    status: int
    report: Optional[str]  # the library's lines; None where they could not be caught
    wav: Optional[bytes] = None  # the file's bytes, for render_bytes


Entry = Callable[[bytes, bytes, int, bytes], int]


class _CStdout:
    """The C runtime's stdout pointer and the functions to catch what goes to it."""

    def __init__(self) -> None:
        libc = ctypes.CDLL(None)
        self.pointer = ctypes.c_void_p.in_dll(libc, "stdout")
        self.open_memstream = libc.open_memstream
        self.open_memstream.restype = ctypes.c_void_p
        self.open_memstream.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        self.fclose = libc.fclose
        self.fclose.argtypes = [ctypes.c_void_p]
        self.free = libc.free
        self.free.argtypes = [ctypes.c_void_p]
        self.lock = threading.Lock()
        self.saved: Optional[int] = None  # the real stream, while a call's stands in

    def after_fork_in_child(self) -> None:
        # A fork during another thread's call leaves that call's stream in
        # place and the lock held, with no thread to undo either.
        if self.saved is not None:
            self.pointer.value = self.saved
            self.saved = None
        self.lock = threading.Lock()


def _find_c_stdout() -> Optional[_CStdout]:
    # glibc's stdout is a plain variable; musl's is const, others are macros.
    if not sys.platform.startswith("linux") or not os.confstr("CS_GNU_LIBC_VERSION"):
        return None
    try:
        return _CStdout()
    except (OSError, AttributeError, ValueError):
        return None


try:
    _C_STDOUT = _find_c_stdout()
except (OSError, ValueError):
    _C_STDOUT = None
if _C_STDOUT is not None and hasattr(os, "register_at_fork"):
    os.register_at_fork(after_in_child=_C_STDOUT.after_fork_in_child)


def catching() -> bool:
    """True where the library's lines are caught rather than printed."""
    return _C_STDOUT is not None


def _caught(c: _CStdout, call: Callable[[], int]) -> tuple[int, str]:
    """``call()``'s status and what it printed on the C runtime's stdout."""
    buffer = ctypes.c_void_p()
    size = ctypes.c_size_t()
    with c.lock:
        stream = c.open_memstream(ctypes.byref(buffer), ctypes.byref(size))
        if not stream:
            raise MemoryError("no memory stream for the library's lines")
        c.saved = c.pointer.value
        c.pointer.value = stream
        try:
            status = call()
        finally:
            c.pointer.value = c.saved
            c.saved = None
            c.fclose(stream)
    try:
        return status, ctypes.string_at(buffer.value, size.value).decode("utf-8", "replace")
    finally:
        c.free(buffer)


def _read_all(descriptor: int) -> bytes:
    chunks = []
    offset = 0
    while True:
        chunk = os.pread(descriptor, 1 << 20, offset)
        if not chunk:
            return b"".join(chunks)
        chunks.append(chunk)
        offset += len(chunk)


def _utf16(text: str) -> bytes:
    return text.encode("utf-16-le", "surrogatepass") + b"\0\0"


def _in_memory_path(descriptor: int) -> str:
    return f"{_PROCESS_FDS}/{descriptor}"


def call(entry: Entry, instrument: bytes, notes: bytes, rate: int, path: Optional[bytes]) -> Outcome:
    """Calls the library, catching its lines where catching() says so.

    ``path`` None renders into an unnamed memory file and returns its bytes;
    only where in_memory() says so.
    """
    memory = None
    if path is None:
        memory = os.memfd_create("tolvimo-wav", os.MFD_CLOEXEC)
        path = _utf16(_in_memory_path(memory))
    try:
        if _C_STDOUT is None:
            if sys.stdout is not None:
                sys.stdout.flush()  # the library writes below Python's buffer
            status, report = entry(instrument, notes, rate, path), None
        else:
            status, report = _caught(_C_STDOUT, lambda: entry(instrument, notes, rate, path))
        wav = _read_all(memory) if memory is not None and status == 999 else None
        return Outcome(status, report, wav)
    finally:
        if memory is not None:
            os.close(memory)


def in_memory() -> bool:
    """True where render_bytes needs no file with a name: an unnamed memory
    file, which the library writes in place through its /proc name."""
    return hasattr(os, "memfd_create") and os.path.isdir(_PROCESS_FDS)


def shown_memory_path(report: str) -> str:
    """The report of an in-memory render, naming no descriptor path."""
    first, _, rest = report.partition(" with ")
    if first.startswith("Created " + _PROCESS_FDS + "/"):
        return "Created <bytes> with " + rest
    return report


def private_folder() -> str:
    """A fresh folder for a temporary file whose path the library can take.

    TMPDIR may be too long for the library's 200-byte path, or not spell
    text at all; the usual folders, then the current one, stand in for it.
    """
    candidates = [tempfile.gettempdir()]
    candidates += (["C:\\Windows\\Temp"] if sys.platform == "win32" else ["/tmp", "/var/tmp"])
    candidates.append(os.curdir)
    for candidate in candidates:
        # The folder's name adds "tolvimo-wav-" and 8 characters; the file, "/render.wav".
        probe = os.path.join(candidate, "tolvimo-wav-xxxxxxxx", "render.wav")
        try:
            probe.encode("mbcs" if sys.platform == "win32" else "utf-8")
        except (UnicodeEncodeError, LookupError):
            continue
        if narrow_length(probe) >= PATH_CAPACITY:
            continue
        try:
            return tempfile.mkdtemp(prefix="tolvimo-wav-", dir=candidate)
        except OSError:
            continue
    raise OSError(errno.ENOENT, "no folder for a temporary file has a path the library can take")

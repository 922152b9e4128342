"""What a refusal tells a person, the same as the command-line program; and
the calls as neighbours in a process: other threads run and print while the
library renders, and no memory file or other file is used for memory."""
from __future__ import annotations

import concurrent.futures
import contextlib
import io
import os
import pathlib
import pickle
import platform
import subprocess
import sys

import pytest

import tolvimo_wav
from tolvimo_wav import MAX_NOTE_TEXT_BYTES, MAX_SAMPLE_RATE, MIN_SAMPLE_RATE, RenderError

HEAVY = (pathlib.Path(__file__).resolve().parents[2] / "bench" / "heavy_notes.txt").read_text().strip()

BAD_NOTES = [
    # notes, position (str index), character
    ("cde", 0, "c"),
    ("C4 D4", 2, " "),
    ("C\u00e9", 1, "\u00e9"),
    ("C4,D4", 2, ","),
    ("CH", 1, "H"),
    ("\u00e9\u00e9X", 0, "\u00e9"),
    ("CD\U0001d11e", 2, "\U0001d11e"),
    ("C9", 1, "9"),
    ("C##", 2, "#"),
    # What note text cannot say (a rest, a length, a chord), H for B, the
    # arguments swapped, and a tab, which the message shows escaped.
    ("CDE R CDE", 3, " "),
    ("RCDE", 0, "R"),
    ("C4/4", 2, "/"),
    ("C4:0.25", 2, ":"),
    ("[CEG]", 0, "["),
    ("H4", 0, "H"),
    ("bell", 0, "b"),
    ("C\tD", 1, "\t"),
]


@pytest.mark.parametrize("notes, position, character", BAD_NOTES)
def test_a_bad_note_is_named_and_hinted_as_the_program_does(notes, position, character,
                                                            tmp_path, host_says):
    # The program's second line: "character N of NOTES (byte position P) is NAME; HINT".
    line, said = host_says("piano", notes, 8000, tmp_path / "host.wav")
    name, hint = said.split(" is ", 1)[1].split("; ", 1)
    for call in (lambda: tolvimo_wav.render("piano", notes, 8000, tmp_path / "x.wav"),
                 lambda: tolvimo_wav.render_bytes("piano", notes, 8000),
                 lambda: tolvimo_wav.render_samples("piano", notes, 8000)):
        with pytest.raises(tolvimo_wav.InvalidNote) as raised:
            call()
        error = raised.value
        assert isinstance(error, RenderError) and isinstance(error, ValueError)
        assert (error.position, error.byte_position, error.character) == (position, position,
                                                                          character)
        assert notes[error.position] == error.character and error.kind == "invalid_note"
        assert error.hint == hint and error.reason is None
        assert str(error) == f"{line}\nnotes[{position}] is {name}: {hint}"
        assert error.line.endswith(character)  # the library's own line, as it is


def test_an_unpaired_surrogate_is_named_as_itself():
    with pytest.raises(RenderError) as raised:
        tolvimo_wav.render_bytes("piano", "C\ud800", 8000)
    assert (raised.value.position, raised.value.character) == (1, "\ud800")
    assert "notes[1] is U+D800" in str(raised.value)


def test_other_refusals_say_what_was_given():
    with pytest.raises(tolvimo_wav.UnknownInstrument) as raised:
        tolvimo_wav.render_bytes("Piano", "C", 8000)
    assert raised.value.suggestions == ("piano", "epiano")
    assert str(raised.value) == (f"{raised.value.line} (did you mean 'piano' or 'epiano'? "
                                 "tolvimo_wav.VOICES holds every name)")
    for instrument, hint in [
        ("sine", f"none of the {len(tolvimo_wav.VOICES)} voices is named like it; "
                 "tolvimo_wav.VOICES holds every name"),
        ("CDE", "'CDE' reads as notes: the instrument comes first, then the notes; "
                "tolvimo_wav.VOICES holds every name"),
    ]:
        with pytest.raises(tolvimo_wav.UnknownInstrument) as raised:
            tolvimo_wav.render_bytes(instrument, "piano", 8000)
        assert raised.value.hint == hint and str(raised.value).endswith(f" ({hint})")
    with pytest.raises(tolvimo_wav.SampleRateOutOfRange) as raised:
        tolvimo_wav.render_bytes("piano", "C", MIN_SAMPLE_RATE - 1)
    assert str(raised.value) == f"{raised.value.line} (sample_rate is {MIN_SAMPLE_RATE - 1})"
    with pytest.raises(RenderError) as raised:
        tolvimo_wav.render_bytes("piano", "C" * (MAX_NOTE_TEXT_BYTES + 1), 8000)
    assert str(raised.value) == (f"{raised.value.line} "
                                 f"(the notes are {MAX_NOTE_TEXT_BYTES + 1} bytes)")


def test_a_refusal_survives_pickling_whole(tmp_path):
    with pytest.raises(RenderError) as raised:
        tolvimo_wav.render_bytes("piano", "C4 D4", 8000)
    copy = pickle.loads(pickle.dumps(raised.value))
    assert type(copy) is tolvimo_wav.InvalidNote and str(copy) == str(raised.value)
    assert vars(copy) == vars(raised.value) and copy.code == 1 and copy.position == 2
    with pytest.raises(FileNotFoundError) as raised:
        tolvimo_wav.render("piano", "C", 8000, tmp_path / "missing" / "x.wav")
    copy = pickle.loads(pickle.dumps(raised.value))
    assert type(copy) is type(raised.value) and str(copy) == str(raised.value)
    assert (copy.errno, copy.strerror, copy.filename, copy.reason) == (
        raised.value.errno, raised.value.strerror, raised.value.filename, raised.value.reason)


def test_quiet_false_prints_the_report_on_sys_stdout(tmp_path, capfd):
    calls = [
        lambda **quiet: tolvimo_wav.render("oboe", "CE", 8000, tmp_path / "x.wav", **quiet),
        lambda **quiet: tolvimo_wav.render_bytes("oboe", "CE", 8000, **quiet),
        lambda **quiet: tolvimo_wav.render_samples("oboe", "CE", 8000, **quiet),
    ]
    report = tolvimo_wav.render("oboe", "CE", 8000, tmp_path / "x.wav").report
    for k, call in enumerate(calls):
        call()
        call(quiet=True)
        assert capfd.readouterr() == ("", "")
        caught = io.StringIO()
        with contextlib.redirect_stdout(caught):  # as a notebook cell catches it
            call(quiet=False)
        assert caught.getvalue().splitlines()[1:] == report.splitlines()[1:]
        assert (caught.getvalue() == report) == (k == 0)
        assert capfd.readouterr() == ("", "")


def test_reports_from_many_threads_arrive_whole(tmp_path):
    def one(k: int) -> str:
        voice = tolvimo_wav.VOICES[k % len(tolvimo_wav.VOICES)]
        return tolvimo_wav.render(voice, "C", 8000 + k, tmp_path / f"{k}.wav", quiet=False).report

    caught = io.StringIO()
    with contextlib.redirect_stdout(caught), concurrent.futures.ThreadPoolExecutor(8) as pool:
        reports = list(pool.map(one, range(60)))
    lines = caught.getvalue().splitlines(keepends=True)
    assert sorted("".join(lines[k:k + 3]) for k in range(0, len(lines), 3)) == sorted(reports)


def _run(script: str, cwd: pathlib.Path) -> subprocess.CompletedProcess[str]:
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=120, cwd=cwd)


def test_c_stdio_of_another_thread_loses_no_line_and_reaches_no_exception(tmp_path):
    # One thread prints through the C runtime's stdout while others render
    # and are refused: every line reaches stdout in order, and every
    # exception holds its own line only.
    script = """
import ctypes, threading, tolvimo_wav
libc = ctypes.CDLL(None)
lines = 20000
def printing():
    for i in range(lines):
        libc.printf(b"mine %d\\n", i)
    libc.fflush(None)
printer = threading.Thread(target=printing)
printer.start()
lines_seen = set()
while printer.is_alive() or not lines_seen:
    tolvimo_wav.render_bytes("oboe", "CE", 8000)
    try:
        tolvimo_wav.render("oboe", "CX", 8000, "x.wav")
    except tolvimo_wav.RenderError as error:
        lines_seen.add((error.line, str(error)))
printer.join()
libc.fflush(None)
print(len(lines_seen))
"""
    result = _run(script, tmp_path)
    assert result.returncode == 0, result.stderr
    printed = result.stdout.splitlines()
    assert printed == [f"mine {i}" for i in range(20000)] + ["1"]


@pytest.mark.skipif(not hasattr(os, "mkfifo"), reason="named pipes")
def test_another_thread_runs_while_the_library_renders(tmp_path):
    # The worker's call writes into a named pipe, so it cannot return before
    # the main thread has read all of it: the main thread opens the pipe once
    # the call has opened it, then makes a call of its own. The two calls
    # overlap, which they could not if the first held the interpreter's lock:
    # the main thread would then wait for it forever (the run's timeout).
    script = """
import os, threading, tolvimo_wav
os.mkfifo("pipe")
finished = threading.Event()
def long_call():
    tolvimo_wav.render("bell", "CDEFGABC5" * 4, 48000, "pipe")  # 1.5 MB
    finished.set()
worker = threading.Thread(target=long_call)
worker.start()
with open("pipe", "rb") as pipe:  # returns once the worker's call opened it
    head = pipe.read(4)
    tolvimo_wav.render_bytes("piano", "C", 8000)
    inside = not finished.is_set()
    rest = pipe.read()
worker.join()
print(head == b"RIFF", inside, len(rest))
"""
    result = _run(script, tmp_path)
    assert result.returncode == 0, result.stderr
    riff, inside, rest = result.stdout.split()
    # More than a pipe holds is still unread when the second call returns.
    assert (riff, inside) == ("True", "True") and int(rest) > 1 << 20, result.stdout


@pytest.mark.skipif(not pathlib.Path("/sys/kernel/mm/transparent_hugepage").is_dir(),
                    reason="a system with transparent huge pages")
def test_a_large_result_asks_for_huge_pages_inside_itself_only():
    wav = tolvimo_wav.render_bytes("bell", HEAVY, MAX_SAMPLE_RATE)
    start = id(wav) + sys.getsizeof(b"") - 1  # the bytes follow the object's header
    end = start + len(wav)
    advised = []
    with open("/proc/self/smaps") as smaps:
        for line in smaps:
            if "-" in line.split(" ", 1)[0]:
                low, high = (int(bound, 16) for bound in line.split(" ", 1)[0].split("-"))
            elif line.startswith("VmFlags:") and " hg" in line and low < end and start < high:
                advised.append((low, high))
    assert advised and all(start <= low and high <= end for low, high in advised), advised


# System call numbers of memfd_create, open and openat, and the audit
# architecture, on the machines the test knows.
_SYSCALLS = {"x86_64": (0xC000003E, (319, 2, 257)), "aarch64": (0xC00000B7, (279, 56))}


@pytest.mark.skipif(platform.machine() not in _SYSCALLS or not sys.platform.startswith("linux"),
                    reason="a seccomp filter for this machine")
def test_memory_renders_work_with_memfd_create_and_every_open_refused(tmp_path, host_render):
    architecture, numbers = _SYSCALLS[platform.machine()]
    script = f"""
import ctypes, errno, os, struct, sys, tolvimo_wav
# A seccomp filter: memfd_create and opening any file fail with EPERM.
def statement(code, k, jt=0, jf=0):
    return struct.pack("HBBI", code, jt, jf, k)
numbers = {numbers!r}
program = statement(0x20, 4)  # load the architecture
program += statement(0x15, {architecture}, 1, 0) + statement(0x06, 0x7FFF0000)
program += statement(0x20, 0)  # load the call's number
for k, number in enumerate(numbers):
    program += statement(0x15, number, len(numbers) - k, 0)
program += statement(0x06, 0x7FFF0000) + statement(0x06, 0x00050000 | errno.EPERM)
buffer = ctypes.create_string_buffer(program)
class Program(ctypes.Structure):
    _fields_ = [("len", ctypes.c_ushort), ("filter", ctypes.c_void_p)]
libc = ctypes.CDLL(None, use_errno=True)
word = ctypes.c_ulong
assert libc.prctl(38, word(1), word(0), word(0), word(0)) == 0  # no new privileges
filtered = Program(len(program) // 8, ctypes.cast(buffer, ctypes.c_void_p))
assert libc.prctl(22, word(2), ctypes.byref(filtered), word(0), word(0)) == 0, ctypes.get_errno()
for refused in (lambda: os.memfd_create("x"), lambda: open("probe", "wb")):
    try:
        refused()
        sys.exit("the filter lets it through")
    except PermissionError:
        pass
wav = tolvimo_wav.render_bytes("bell", "CEG", 8000)
samples = tolvimo_wav.render_samples("bell", "CEG", 8000).samples
assert samples.tobytes() == wav[44:] or sys.byteorder == "big"
sys.stdout.buffer.write(wav)
"""
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, cwd=tmp_path,
                            timeout=60)
    assert result.returncode == 0, result.stderr
    assert result.stdout == host_render("bell", "CEG", 8000)
    assert list(tmp_path.iterdir()) == []


def test_every_public_name_is_in_all():
    defined_here = {name for name, value in vars(tolvimo_wav).items()
                    if not name.startswith("_")
                    and getattr(value, "__module__", "").startswith("tolvimo_wav")}
    assert defined_here <= set(tolvimo_wav.__all__)
    assert {"SampleRateNotInteger", "Samples", "Rendered", "render_samples"} <= defined_here
    assert all(hasattr(tolvimo_wav, name) for name in tolvimo_wav.__all__)
    # Every limit the catalogue gives, the notes' length included.
    limits = {name for name in vars(tolvimo_wav._generated)
              if name.startswith(("MIN_", "MAX_", "NOTE_"))}
    assert "NOTE_SECONDS" in limits and limits <= set(tolvimo_wav.__all__)


@pytest.mark.skipif(not hasattr(os, "fork"), reason="fork")
def test_a_fork_during_a_call_leaves_the_child_able_to_render(tmp_path):
    # The parent forks while another thread is inside a long call.
    script = f"""
import os, sys, threading, time, tolvimo_wav
started = threading.Event()
def long_call():
    started.set()
    tolvimo_wav.render_bytes("violin", {HEAVY!r}, {MAX_SAMPLE_RATE})
worker = threading.Thread(target=long_call)
worker.start()
started.wait()
time.sleep(0.02)
child = os.fork()
if child == 0:
    tolvimo_wav.render("bass", "C", 8000, "child.wav", quiet=False)
    sys.stdout.flush()  # os._exit drops what a piped sys.stdout still holds
    os._exit(0)
os.waitpid(child, 0)
worker.join()
"""
    result = _run(script, tmp_path)
    assert result.returncode == 0, result.stderr
    written = tmp_path / "child.wav"
    assert written.exists()
    report = tolvimo_wav.render("bass", "C", 8000, written).report
    assert result.stdout == report.replace(str(written), "child.wav")

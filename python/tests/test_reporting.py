"""Where the library's lines go from Python: into the exception with what
was wrong, to sys.stdout or nowhere, never mixed with other threads' output,
and never naming a temporary file whatever TMPDIR holds."""
from __future__ import annotations

import concurrent.futures
import contextlib
import io
import multiprocessing
import os
import subprocess
import sys
import threading

import pytest

import tolvimo_wav
from tolvimo_wav import RenderError

BAD_NOTES = [
    # notes, position (str index), character, byte position, said
    ("C4 D4", 2, " ", 2, "notes[2] is ' ' (space): write the notes with nothing between them"),
    ("cdefg", 0, "c", 0, "notes[0] is 'c': note letters are upper case: write 'C'"),
    ("C\u00e9", 1, "\u00e9", 1, "notes[1] is '\u00e9' (U+00E9): a note is a letter A to G"),
    ("\u00e9\u00e9X", 0, "\u00e9", 0, "notes[0] is '\u00e9' (U+00E9)"),
    ("CD\U0001d11e", 2, "\U0001d11e", 2, "notes[2] is '\U0001d11e' (U+1D11E)"),
    ("C\ud800", 1, "\ud800", 1, "notes[1] is U+D800 (an unpaired surrogate, read as U+FFFD)"),
    ("C,D", 1, ",", 1, "write the notes with nothing between them"),
    ("C9", 1, "9", 1, "octave digits run from 0 to 8"),
    ("C##", 2, "#", 2, "a note takes one # or b before its octave digit and one more after it"),
]


@pytest.mark.parametrize("notes, position, character, byte_position, said", BAD_NOTES)
def test_a_bad_note_is_named_with_its_place(notes, position, character, byte_position, said,
                                            tmp_path):
    for call in (lambda: tolvimo_wav.render("piano", notes, 8000, tmp_path / "x.wav"),
                 lambda: tolvimo_wav.render_bytes("piano", notes, 8000)):
        with pytest.raises(RenderError) as raised:
            call()
        error = raised.value
        assert (error.position, error.character, error.byte_position) == (
            position, character, byte_position)
        assert error.line.startswith(f"Error: Invalid note at position {byte_position}: ")
        assert said in str(error) and error.reason is None


def test_other_refusals_say_what_was_given():
    with pytest.raises(tolvimo_wav.UnknownInstrument) as raised:
        tolvimo_wav.render_bytes("Piano", "C", 8000)
    assert str(raised.value) == ("Error: Unknown instrument 'Piano' (did you mean 'piano' or "
                                 "'epiano'? tolvimo_wav.VOICES holds every name)")
    with pytest.raises(tolvimo_wav.SampleRateOutOfRange) as raised:
        tolvimo_wav.render_bytes("piano", "C", 7999)
    assert str(raised.value).endswith("(sample_rate is 7999)")
    with pytest.raises(RenderError) as raised:
        tolvimo_wav.render_bytes("piano", "C" * 1000, 8000)
    assert str(raised.value) == ("Error: Note text must be shorter than 1000 bytes "
                                 "(the notes are 1000 bytes)")


def test_quiet_prints_nothing_and_otherwise_the_report_reaches_sys_stdout(tmp_path, capfd):
    calls = [
        lambda **quiet: tolvimo_wav.render("oboe", "CE", 8000, tmp_path / "x.wav", **quiet),
        lambda **quiet: tolvimo_wav.render_bytes("oboe", "CE", 8000, **quiet),
        lambda **quiet: tolvimo_wav.render_samples("oboe", "CE", 8000, **quiet),
    ]
    for call in calls:
        call(quiet=True)
        assert capfd.readouterr() == ("", "")
        caught = io.StringIO()
        with contextlib.redirect_stdout(caught):  # as a notebook cell catches it
            call()
        assert caught.getvalue().splitlines()[1:] == ["Duration: 1.00 seconds",
                                                      "Instrument: oboe"]
        assert capfd.readouterr() == ("", "")


def test_calls_on_threads_catch_only_their_own_lines(tmp_path, capfd):
    # While workers render, another thread writes to descriptor 1: none of
    # its lines may be caught, and no line of the library's may reach it.
    stop = threading.Event()

    def render_until_stopped(k: int) -> int:
        count = 0
        while not stop.is_set() or count == 0:
            tolvimo_wav.render_bytes(tolvimo_wav.VOICES[k], "CDE", 8000 + k, quiet=True)
            count += 1
        return count

    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        running = [pool.submit(render_until_stopped, k) for k in range(4)]
        for i in range(300):
            os.write(1, f"mine {i}\n".encode())
        stop.set()
        assert all(future.result() > 0 for future in running)
    assert capfd.readouterr().out == "".join(f"mine {i}\n" for i in range(300))


def test_reports_from_many_threads_arrive_whole(tmp_path):
    def one(k: int) -> str:
        path = tmp_path / f"{k}.wav"
        tolvimo_wav.render(tolvimo_wav.VOICES[k % 15], "C", 8000 + k, path)
        return f"Created {path} with {(8000 + k) // 2} samples at {8000 + k} Hz"

    caught = io.StringIO()
    with contextlib.redirect_stdout(caught), concurrent.futures.ThreadPoolExecutor(8) as pool:
        expected = list(pool.map(one, range(60)))
    lines = caught.getvalue().splitlines()
    assert sorted(lines[0::3]) == sorted(expected)
    assert all(line.startswith("Duration: ") for line in lines[1::3])


# Each would make a temporary path the library cannot take: too long for its
# 200 bytes, not text, or missing.
ODD_TMPDIRS = [b"d" * 180, b"\xff\xfe-not-utf-8", b"missing/folder"]


@pytest.mark.skipif(sys.platform == "win32", reason="TMPDIR as bytes")
@pytest.mark.parametrize("tmpdir", ODD_TMPDIRS)
@pytest.mark.parametrize("memory", [True, False])
def test_render_bytes_works_whatever_tmpdir_holds(tmpdir, memory, host_render, tmp_path):
    folder = os.fsencode(tmp_path) + b"/" + tmpdir
    if not tmpdir.startswith(b"missing"):
        os.makedirs(folder)
    script = ("import sys, tolvimo_wav, tolvimo_wav._calls as c\n"
              f"if not {memory}: c.in_memory = lambda: False\n"
              "sys.stdout.buffer.write(tolvimo_wav.render_bytes('bell', 'CEG', 8000, quiet=True))\n")
    environment = {**os.environb, b"TMPDIR": folder}
    result = subprocess.run([sys.executable, "-c", script], env=environment, capture_output=True,
                            cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert result.stdout == host_render("bell", "CEG", 8000)
    # Nothing is left, in TMPDIR or in the folders standing in for it.
    assert sorted(os.listdir(tmp_path)) == sorted(
        [] if tmpdir.startswith(b"missing") else [os.fsdecode(tmpdir.split(b"/")[0])])
    if not tmpdir.startswith(b"missing"):
        assert os.listdir(folder) == []


def test_where_lines_cannot_be_caught_the_library_prints_them(tmp_path):
    # As on a system whose C runtime has no stdout variable: the call works,
    # the library prints its own lines, and the exception says what it can.
    script = ("import tolvimo_wav, tolvimo_wav._calls as c\n"
              "c._C_STDOUT = None\n"
              "tolvimo_wav.render('bass', 'C', 8000, 'x.wav', quiet=True)\n"
              "try:\n"
              "    tolvimo_wav.render('bass', 'CX', 8000, 'y.wav')\n"
              "except tolvimo_wav.RenderError as error:\n"
              "    print(error.line, error.position, str(error).startswith(\"'CX' was not\"))\n")
    result = subprocess.run([sys.executable, "-c", script], cwd=tmp_path, capture_output=True,
                            text=True, check=True)
    assert result.stdout.splitlines() == [
        "Created x.wav with 4000 samples at 8000 Hz", "Duration: 0.50 seconds",
        "Instrument: bass", "Error: Invalid note at position 1: X", "None None True"]


def _render_in_child(queue) -> None:
    queue.put(len(tolvimo_wav.render_bytes("flute", "C", 8000, quiet=True)))


@pytest.mark.skipif(not hasattr(os, "fork"), reason="fork")
def test_a_forked_child_renders_on_workers_of_its_own():
    tolvimo_wav.render_bytes("flute", "C", 8000, quiet=True)  # the parent's workers exist
    context = multiprocessing.get_context("fork")
    queue = context.Queue()
    child = context.Process(target=_render_in_child, args=(queue,))
    child.start()
    assert queue.get(timeout=60) == 44 + 2 * 4000
    child.join(timeout=60)
    assert child.exitcode == 0


def test_every_public_name_is_in_all():
    defined_here = {name for name, value in vars(tolvimo_wav).items()
                    if not name.startswith("_")
                    and getattr(value, "__module__", "").startswith("tolvimo_wav")}
    assert defined_here <= set(tolvimo_wav.__all__)
    assert {"SampleRateNotInteger", "Samples", "render_samples"} <= defined_here
    assert all(hasattr(tolvimo_wav, name) for name in tolvimo_wav.__all__)


@pytest.mark.skipif(not hasattr(os, "fork"), reason="fork")
def test_a_fork_during_a_call_leaves_the_child_able_to_render_and_print(tmp_path):
    # The parent forks while another thread is inside a long call, holding the
    # C runtime's stdout pointed at its memory stream.
    script = """
import os, sys, threading, time, tolvimo_wav
started = threading.Event()
def long_call():
    started.set()
    tolvimo_wav.render_bytes("violin", "C0D8" * 240, 192000, quiet=True)
worker = threading.Thread(target=long_call)
worker.start()
started.wait()
time.sleep(0.05)
child = os.fork()
if child == 0:
    tolvimo_wav.render("bass", "C", 8000, "child.wav")
    sys.stdout.flush()  # os._exit drops what a piped sys.stdout still holds
    import ctypes
    libc = ctypes.CDLL(None)
    libc.printf(b"C stdout works\\n")
    libc.fflush(None)
    os._exit(0)
os.waitpid(child, 0)
worker.join()
"""
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                            timeout=30, cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines()[:1] == ["Created child.wav with 4000 samples at 8000 Hz"]
    assert "C stdout works" in result.stdout

"""The package against the command-line program: the same bytes and lines,
the library's codes as exception classes, and nothing left behind by a
refusal."""
from __future__ import annotations

import array
import errno
import os
import concurrent.futures
import re
import subprocess
import sys
from importlib import metadata

import pytest

import tolvimo_wav
from conftest import SOURCE_ROOT
from tolvimo_wav import (
    MAX_INSTRUMENT_NAME_BYTES,
    MAX_NOTE_TEXT_BYTES,
    MAX_OUTPUT_PATH_BYTES,
    MAX_SAMPLE_RATE,
    MIN_SAMPLE_RATE,
    RenderError,
    SampleRateOutOfRange,
    TolvimoError,
    UnknownInstrument,
)
from tolvimo_wav._core import MEMORY_OUTPUT_NAME

REQUESTS = [
    ("piano", "CDEFG", 44100),
    ("violin", "C#4Bb3", MIN_SAMPLE_RATE),
    ("bell", "C5G4A4E4", 48000),
    ("drum", "CCCCGGGG", 8001),
    ("theremin", "A0C8", MAX_SAMPLE_RATE),
    ("epiano", "", 22050),
]


@pytest.mark.parametrize("instrument, notes, rate", REQUESTS)
def test_bytes_and_report_equal_the_programs(instrument, notes, rate, host, tmp_path, capfd):
    reference = tmp_path / "reference.wav"
    said = subprocess.run([host, instrument, notes, str(rate), reference], check=True,
                          capture_output=True, text=True).stdout
    expected = reference.read_bytes()
    path = tmp_path / f"{instrument}.wav"
    result = tolvimo_wav.render(instrument, notes, rate, path)
    assert path.read_bytes() == expected
    samples = (len(expected) - 44) // 2
    assert result == (str(path), instrument, samples, rate, said.replace(str(reference), str(path)))
    assert tolvimo_wav.render_bytes(instrument, notes, rate) == expected
    samples_array, sample_rate = tolvimo_wav.render_samples(instrument, notes, rate)
    assert samples_array.typecode == "h" and sample_rate == rate
    wav_samples = array.array("h", expected[44:])
    if sys.byteorder == "big":
        wav_samples.byteswap()
    assert samples_array == wav_samples
    # Nothing is printed unless asked, and nothing left beside the file.
    assert capfd.readouterr() == ("", "")
    assert sorted(tmp_path.iterdir()) == sorted([reference, path])


def test_python_c_prints_only_what_is_asked_for(tmp_path):
    # Standard output is a pipe here, so Python's buffer decides the order.
    script = ("import tolvimo_wav as t; print('before'); t.render('bass', 'C', 8000, 'x.wav')\n"
              "t.render_bytes('bass', 'C', 8000); t.render_samples('bass', 'C', 8000)\n"
              "print(t.render('bass', 'C', 8000, 'x.wav').report, end='')\n"
              "t.render_bytes('bass', 'C', 8000, quiet=False)\n")
    result = subprocess.run([sys.executable, "-c", script], cwd=tmp_path, capture_output=True,
                            text=True, check=True)
    report = tolvimo_wav.render("bass", "C", 8000, tmp_path / "x.wav").report
    in_memory = report.replace(str(tmp_path / "x.wav"), MEMORY_OUTPUT_NAME)
    assert result.stdout == "before\n" + report.replace(str(tmp_path / "x.wav"), "x.wav") + in_memory
    assert result.stderr == ""


REFUSALS = [
    # instrument, notes, rate, class, the built-in exception it also is, status
    ("Piano", "C", 8000, UnknownInstrument, ValueError, 222),
    ("", "C", 8000, UnknownInstrument, ValueError, 222),
    ("p" * (MAX_INSTRUMENT_NAME_BYTES + 1), "C", 8000, UnknownInstrument, ValueError, 222),
    ("nope", "C", 2**40, UnknownInstrument, ValueError, 222),  # the name is checked first
    ("CDE", "piano", 8000, UnknownInstrument, ValueError, 222),  # swapped
    ("piano", "C", MIN_SAMPLE_RATE - 1, SampleRateOutOfRange, ValueError, 333),
    ("piano", "C", MAX_SAMPLE_RATE + 1, SampleRateOutOfRange, ValueError, 333),
    ("piano", "C", 2**32 + MIN_SAMPLE_RATE, SampleRateOutOfRange, ValueError, 333),  # if wrapped
    ("piano", "C", -(2**31) - 1, SampleRateOutOfRange, ValueError, 333),
    ("piano", "CDX", 8000, tolvimo_wav.InvalidNote, ValueError, 1),
    ("piano", " C", 8000, tolvimo_wav.InvalidNote, ValueError, 1),
    ("piano", "C9", 8000, tolvimo_wav.InvalidNote, ValueError, 1),
    ("piano", "C" * (MAX_NOTE_TEXT_BYTES + 1), 8000, tolvimo_wav.NoteTextTooLong, ValueError, 1),
]


@pytest.mark.parametrize("instrument, notes, rate, refusal, habit, code", REFUSALS)
def test_refusals_raise_their_class_with_the_programs_line(
    instrument, notes, rate, refusal, habit, code, tmp_path, host_says, capfd
):
    with pytest.raises(refusal) as raised:
        tolvimo_wav.render(instrument, notes, rate, tmp_path / "out.wav")
    with pytest.raises(refusal) as in_memory:
        tolvimo_wav.render_bytes(instrument, notes, rate)
    with pytest.raises(refusal) as samples:
        tolvimo_wav.render_samples(instrument, notes, rate)
    assert list(tmp_path.iterdir()) == []
    assert capfd.readouterr() == ("", "")
    said = host_says(instrument, notes, rate, tmp_path / "out.wav")[0]
    for error in (raised.value, in_memory.value, samples.value):
        assert isinstance(error, TolvimoError) and isinstance(error, habit)
        assert error.code == code and error.kind in tolvimo_wav.REFUSAL_KINDS
        # The library's own line, which the program shows with what it adds.
        assert str(error).startswith(error.line) and said.startswith(error.line)


@pytest.mark.parametrize("path, habit, number", [
    ("missing/out.wav", FileNotFoundError, errno.ENOENT),
    ("a" * MAX_OUTPUT_PATH_BYTES + ".wav", OSError, errno.ENAMETOOLONG),
    (".", IsADirectoryError, errno.EISDIR),
    ("", FileNotFoundError, errno.ENOENT),
    ("Kl\u00e4nge/" + "\u00e9" * (MAX_OUTPUT_PATH_BYTES // 2) + ".wav", OSError,
     errno.ENAMETOOLONG),
    ("/proc/nope.wav", FileNotFoundError, errno.ENOENT),
    ("a_file/out.wav", NotADirectoryError, errno.ENOTDIR),
])
def test_a_path_that_cannot_be_opened_says_why_as_the_program_does(path, habit, number, tmp_path,
                                                                   monkeypatch, host_says):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "a_file").write_text("")
    with pytest.raises(habit) as raised:
        tolvimo_wav.render("piano", "C", 8000, path)
    error = raised.value
    # As open() raises it, and a RenderError as before.
    assert isinstance(error, RenderError) and isinstance(error, tolvimo_wav.OutputError)
    assert (error.errno, error.strerror, error.filename) == (number, os.strerror(number), path)
    assert error.code == 1 and error.kind == "cannot_open" and error.position is None
    assert error.reason and str(error) == f"{error.line} ({error.reason})"
    assert host_says("piano", "C", 8000, path) == [str(error)]
    assert [entry.name for entry in tmp_path.iterdir()] == ["a_file"]


class Sneaky(str):
    """A str that denies holding anything and encodes to nothing."""

    def __contains__(self, item: object) -> bool:
        return False

    def encode(self, *arguments: object, **named: object) -> bytes:
        return b""


WRONG_ARGUMENTS = [
    ((None, "C", 8000, "x.wav"), TypeError),
    (("piano", b"C", 8000, "x.wav"), TypeError),
    (("piano", "C", 8000, None), TypeError),
    (("piano", "C", 8000, b"x.wav"), TypeError),
    (("pi\0ano", "C", 8000, "x.wav"), ValueError),
    (("piano", "C\0XYZ", 8000, "x.wav"), ValueError),
    (("piano", "C", 8000, "x.wav\0junk"), ValueError),
    (("piano", "C", 8000, "\udcff.wav"), ValueError),  # undecodable name: not the caller's file
    ((Sneaky("pi\0ano"), "C", 8000, "x.wav"), ValueError),
    (("piano", Sneaky("CDE\0FGAB"), 8000, "x.wav"), ValueError),
    (("piano", "C", 8000, Sneaky("sneaky.wav\0.txt")), ValueError),
    (("piano", "C", 8000, Sneaky("\udcff.wav")), ValueError),
]


@pytest.mark.parametrize("arguments, error", WRONG_ARGUMENTS)
def test_wrong_arguments_are_refused_before_the_call(arguments, error, tmp_path, monkeypatch,
                                                     capfd):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(error):
        tolvimo_wav.render(*arguments)
    if arguments[3] == "x.wav":
        for call in (tolvimo_wav.render_bytes, tolvimo_wav.render_samples):
            with pytest.raises(error):
                call(*arguments[:3])
    assert list(tmp_path.iterdir()) == []
    assert capfd.readouterr().out == ""


@pytest.mark.parametrize("rate", [44100.0, 44100.5, "44100", None])
def test_a_rate_that_is_not_an_int_is_out_of_range_and_a_type_error(rate, tmp_path):
    for call in (lambda: tolvimo_wav.render("piano", "C", rate, tmp_path / "x.wav"),
                 lambda: tolvimo_wav.render_bytes("piano", "C", rate),
                 lambda: tolvimo_wav.render_samples("piano", "C", rate)):
        with pytest.raises(SampleRateOutOfRange) as raised:
            call()
        assert isinstance(raised.value, TypeError) and raised.value.code == 333
    assert list(tmp_path.iterdir()) == []


class Index:
    def __init__(self, value: int) -> None:
        self.value = value

    def __index__(self) -> int:
        return self.value


def test_a_rate_is_any_integer_as_the_types_say(tmp_path):
    # An __index__ object (a numpy integer) renders; a bool is the integer it
    # is, and out of range, not a TypeError.
    assert tolvimo_wav.render_bytes("bass", "C", Index(8000)) == \
        tolvimo_wav.render_bytes("bass", "C", 8000)
    with pytest.raises(SampleRateOutOfRange) as raised:
        tolvimo_wav.render_samples("bass", "C", True)
    assert not isinstance(raised.value, TypeError) and raised.value.code == 333
    # What mypy --strict makes of the same calls, and of a kind that no refusal has.
    mypy = pytest.importorskip("mypy.api")
    usage = tmp_path / "usage.py"
    usage.write_text(
        "import tolvimo_wav\n"
        "class Index:\n"
        "    def __index__(self) -> int:\n"
        "        return 8000\n"
        "tolvimo_wav.render_bytes('bass', 'C', Index())\n"
        "tolvimo_wav.render_samples('bass', 'C', True)\n"
        "tolvimo_wav.render('bass', 'C', 8000.0, 'x.wav')\n"
        "def invalid(error: tolvimo_wav.TolvimoError) -> bool:\n"
        "    return error.kind == 'invalid_note' or error.kind == 'invalid_notes'\n")
    said, _, _ = mypy.run(["--strict", "--cache-dir=/dev/null", str(usage)])
    flagged = sorted(int(line.split(":")[1]) for line in said.splitlines() if ": error:" in line)
    assert flagged == [7, 9], said


def test_a_non_ascii_path(tmp_path, host_render):
    path = tmp_path / "Klänge ♪ 音.wav"
    tolvimo_wav.render("flute", "A4", 11025, path)
    assert path.read_bytes() == host_render("flute", "A4", 11025)


def test_calls_on_many_threads_give_the_serial_bytes(tmp_path):
    requests = [(voice, "C#4Bb3A5", 8000 + 1000 * k) for k, voice in enumerate(tolvimo_wav.VOICES)]
    serial = [tolvimo_wav.render_bytes(*request) for request in requests]

    def to_file(k: int) -> bytes:
        path = tmp_path / f"{k}.wav"
        tolvimo_wav.render(*requests[k], path)
        return path.read_bytes()

    with concurrent.futures.ThreadPoolExecutor(max_workers=8) as pool:
        in_memory = pool.map(lambda request: tolvimo_wav.render_bytes(*request), requests * 2)
        on_disk = pool.map(to_file, range(len(requests)))
        assert list(in_memory) == serial * 2
        assert list(on_disk) == serial


def test_voices_and_version_are_the_projects(host):
    listed = subprocess.run([host, "--list"], check=True, capture_output=True, text=True).stdout
    assert tolvimo_wav.VOICES == tuple(listed.split())
    cmake = (SOURCE_ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    version = re.search(r"^project\(\w+ VERSION ([0-9.]+)", cmake, re.MULTILINE).group(1)
    assert tolvimo_wav.__version__ == version == metadata.version("tolvimo-wav")
    # The installed metadata carries the project's licence text.
    licence = [file for file in metadata.files("tolvimo-wav") if file.name == "LICENSE"]
    assert len(licence) == 1
    assert licence[0].read_text() == (SOURCE_ROOT / "LICENSE").read_text(encoding="utf-8")


EXAMPLE = SOURCE_ROOT / "examples" / "render_notes.py"


@pytest.mark.parametrize("notes, status, created", [("CDE", 0, True), ("CDX", 1, False)])
def test_the_example(notes, status, created, tmp_path, host_says):
    path = tmp_path / "example.wav"
    result = subprocess.run([sys.executable, EXAMPLE, "piano", notes, "8000", path],
                            capture_output=True, text=True)
    assert result.returncode == status and path.exists() == created
    said = [] if created else host_says("piano", notes, 8000, tmp_path / "host.wav")[:1]
    assert result.stderr.splitlines()[:1] == [f"render_notes.py: {line}" for line in said]


def test_the_example_has_a_real_help_text():
    result = subprocess.run([sys.executable, EXAMPLE, "--help"], capture_output=True, text=True)
    assert result.returncode == 0 and result.stderr == ""
    for said in ["usage: render_notes.py", "INSTRUMENT", "NOTES", "SAMPLE_RATE", "OUTPUT",
                 "--quiet", "C#4Bb3", "exit status"]:
        assert said in result.stdout


def test_a_refusal_quoting_a_line_feed_keeps_the_whole_line(tmp_path):
    with pytest.raises(UnknownInstrument) as raised:
        tolvimo_wav.render("pi\nano", "C", 8000, tmp_path / "out.wav")
    line = raised.value.line
    assert "'pi\nano'" in line and line.endswith("'") and raised.value.suggestions == ("piano",)
    # The message shows it escaped, on one line, as the program does.
    assert str(raised.value).splitlines() == [line.replace("\n", "\\n") + f" ({raised.value.hint})"]


def test_a_swapped_array_module_is_refused_not_overrun(monkeypatch):
    # The samples' array is made through the module found by name; one whose
    # items are a byte each used to be written past its end.
    class OneByteArrays:
        @staticmethod
        def array(typecode, *initial):
            return array.array("b", *initial)

    monkeypatch.setitem(sys.modules, "array", OneByteArrays)
    with pytest.raises(TypeError, match="not 2 bytes"):
        tolvimo_wav.render_samples("piano", "CDEFG", 44100)

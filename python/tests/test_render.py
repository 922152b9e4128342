"""The package against the command-line host: the same bytes, the library's
codes as exception classes, and nothing left behind by a refusal."""
from __future__ import annotations

import array
import concurrent.futures
import os
import pathlib
import re
import subprocess
import sys
from importlib import metadata

import pytest

import tolvimo_wav
from conftest import SOURCE_ROOT
from tolvimo_wav import RenderError, SampleRateOutOfRange, TolvimoError, UnknownInstrument

REQUESTS = [
    ("piano", "CDEFG", 44100),
    ("violin", "C#4Bb3", 8000),
    ("bell", "C5G4A4E4", 48000),
    ("drum", "CCCCGGGG", 8001),
    ("theremin", "A0C8", 192000),
    ("epiano", "", 22050),
]


@pytest.mark.parametrize("instrument, notes, rate", REQUESTS)
def test_bytes_equal_the_hosts(instrument, notes, rate, host_render, tmp_path, private_tempdir,
                               capsys):
    expected = host_render(instrument, notes, rate)
    path = tmp_path / f"{instrument}.wav"
    assert tolvimo_wav.render(instrument, notes, rate, path) is None
    assert path.read_bytes() == expected
    samples = (len(expected) - 44) // 2
    report = [
        f"Created {path} with {samples} samples at {rate} Hz",
        f"Duration: {samples / rate:.2f} seconds",
        f"Instrument: {instrument}",
    ]
    # The report reaches sys.stdout, as print's output does.
    assert capsys.readouterr().out.splitlines() == report
    assert tolvimo_wav.render_bytes(instrument, notes, rate) == expected
    # render_bytes names no temporary file, and leaves none.
    assert capsys.readouterr().out.splitlines() == ["Created <bytes>" + report[0][len(f"Created {path}"):]] + report[1:]
    assert list(private_tempdir.iterdir()) == []
    samples_array, sample_rate = tolvimo_wav.render_samples(instrument, notes, rate, quiet=True)
    assert samples_array.typecode == "h" and sample_rate == rate
    wav_samples = array.array("h", expected[44:])
    if sys.byteorder == "big":
        wav_samples.byteswap()
    assert samples_array == wav_samples
    assert capsys.readouterr().out == ""


def test_the_report_follows_what_python_printed_before(tmp_path):
    # Standard output is a pipe here, so Python's buffer must be flushed first.
    script = "import tolvimo_wav; print('before'); tolvimo_wav.render('bass', 'C', 8000, 'x.wav')"
    result = subprocess.run([sys.executable, "-c", script], cwd=tmp_path, capture_output=True,
                            text=True, check=True)
    assert result.stdout.splitlines()[:2] == ["before", "Created x.wav with 4000 samples at 8000 Hz"]


REFUSALS = [
    ("Piano", "C", 8000, UnknownInstrument, 222),
    ("", "C", 8000, UnknownInstrument, 222),
    ("p" * 56, "C", 8000, UnknownInstrument, 222),
    ("nope", "C", 2**40, UnknownInstrument, 222),  # the name is checked first
    ("piano", "C", 7999, SampleRateOutOfRange, 333),
    ("piano", "C", 192001, SampleRateOutOfRange, 333),
    ("piano", "C", 4294975296, SampleRateOutOfRange, 333),  # 8000 if wrapped to 32 bits
    ("piano", "C", -(2**31) - 1, SampleRateOutOfRange, 333),
    ("piano", "CDX", 8000, RenderError, 1),
    ("piano", " C", 8000, RenderError, 1),
    ("piano", "C9", 8000, RenderError, 1),
    ("piano", "C" * 1000, 8000, RenderError, 1),
]


@pytest.mark.parametrize("instrument, notes, rate, refusal, code", REFUSALS)
def test_refusals_raise_their_class_and_leave_no_file(
    instrument, notes, rate, refusal, code, tmp_path, private_tempdir, capfd
):
    with pytest.raises(refusal) as raised:
        tolvimo_wav.render(instrument, notes, rate, tmp_path / "out.wav")
    assert raised.value.code == code and isinstance(raised.value, TolvimoError)
    with pytest.raises(refusal) as in_memory:
        tolvimo_wav.render_bytes(instrument, notes, rate)
    assert sorted(tmp_path.iterdir()) == [private_tempdir]
    assert list(private_tempdir.iterdir()) == []
    # The library's own line is in the exception, and on no output.
    for error in (raised.value, in_memory.value):
        assert error.line.startswith("Error: ") and str(error).startswith(error.line)
    assert capfd.readouterr() == ("", "")


@pytest.mark.parametrize("path, reason", [
    ("missing/out.wav", "folder 'missing': No such file or directory"),
    ("a" * 200 + ".wav", "the path is 204 bytes long; it must be shorter than 200"),
    (".", "Is a directory"),
    ("", "No such file or directory"),
    ("Kl\u00e4nge/" + "\u00e9" * 96 + ".wav", "the path is 204 bytes long; it must be shorter than 200"),
])
def test_a_path_that_cannot_be_opened_says_why(path, reason, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(RenderError) as raised:
        tolvimo_wav.render("piano", "C", 8000, path)
    error = raised.value
    assert error.code == 1 and error.reason == reason and error.position is None
    assert error.line == f"Error: Cannot open output file '{path}'"
    assert str(error) == f"{error.line} ({reason})"
    assert list(tmp_path.iterdir()) == []


WRONG_ARGUMENTS = [
    ((None, "C", 8000, "x.wav"), TypeError),
    (("piano", b"C", 8000, "x.wav"), TypeError),
    (("piano", "C", 8000, None), TypeError),
    (("piano", "C", 8000, b"x.wav"), TypeError),
    (("pi\0ano", "C", 8000, "x.wav"), ValueError),
    (("piano", "C\0XYZ", 8000, "x.wav"), ValueError),
    (("piano", "C", 8000, "x.wav\0junk"), ValueError),
    (("piano", "C", 8000, "\udcff.wav"), ValueError),  # undecodable name: not the caller's file
]


@pytest.mark.parametrize("arguments, error", WRONG_ARGUMENTS)
def test_wrong_arguments_are_refused_before_the_call(arguments, error, tmp_path, monkeypatch,
                                                     capfd):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(error):
        tolvimo_wav.render(*arguments)
    assert list(tmp_path.iterdir()) == []
    assert capfd.readouterr().out == ""


@pytest.mark.parametrize("rate", [44100.0, 44100.5, "44100", True, None])
def test_a_rate_that_is_not_an_int_is_out_of_range_and_a_type_error(rate, tmp_path,
                                                                    private_tempdir):
    for call in (lambda: tolvimo_wav.render("piano", "C", rate, tmp_path / "x.wav"),
                 lambda: tolvimo_wav.render_bytes("piano", "C", rate)):
        with pytest.raises(SampleRateOutOfRange) as raised:
            call()
        assert isinstance(raised.value, TypeError) and raised.value.code == 333
    assert sorted(tmp_path.iterdir()) == [private_tempdir]
    assert list(private_tempdir.iterdir()) == []


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


@pytest.mark.parametrize("library, said", [
    ("/nonexistent/libTolvimoWAVInstruments.so", "cannot be loaded"),
    ("libm.so.6", "does not export WAVInstruments"),
])
def test_a_missing_library_is_an_import_error_that_says_what_to_do(library, said):
    environment = {**os.environ, "TOLVIMO_WAV_LIBRARY": library}
    result = subprocess.run([sys.executable, "-c", "import tolvimo_wav"], env=environment,
                            capture_output=True, text=True)
    assert result.returncode == 1
    last = result.stderr.splitlines()[-1]
    assert last.startswith("ImportError") and said in last and "cmake --install" in last


EXAMPLE = SOURCE_ROOT / "examples" / "render_notes.py"


@pytest.mark.parametrize("notes, status, created, said", [
    ("CDE", 0, True, ""),
    ("CDX", 1, False, "render_notes.py: Error: Invalid note at position 2: X\n"),
])
def test_the_example(notes, status, created, said, tmp_path):
    path = tmp_path / "example.wav"
    result = subprocess.run([sys.executable, EXAMPLE, "piano", notes, "8000", path],
                            capture_output=True, text=True)
    assert result.returncode == status and path.exists() == created
    assert result.stderr.startswith(said)


def test_the_example_has_a_real_help_text():
    result = subprocess.run([sys.executable, EXAMPLE, "--help"], capture_output=True, text=True)
    assert result.returncode == 0 and result.stderr == ""
    for said in ["usage: render_notes.py", "INSTRUMENT", "NOTES", "SAMPLE_RATE", "OUTPUT",
                 "--quiet", "C#4Bb3", "exit status"]:
        assert said in result.stdout


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="the loader's soname search")
def test_without_the_variable_the_loader_finds_the_soname():
    environment = dict(os.environ)
    library = pathlib.Path(environment.pop("TOLVIMO_WAV_LIBRARY"))
    environment["LD_LIBRARY_PATH"] = str(library.parent)  # as ldconfig would
    script = "import tolvimo_wav; tolvimo_wav.render_bytes('oboe', 'C', 8000)"
    subprocess.run([sys.executable, "-c", script], env=environment, check=True,
                   stdout=subprocess.DEVNULL)


def test_a_refusal_quoting_a_line_feed_keeps_the_whole_line(tmp_path):
    with pytest.raises(UnknownInstrument) as raised:
        tolvimo_wav.render("pi\nano", "C", 8000, tmp_path / "out.wav")
    assert raised.value.line == "Error: Unknown instrument 'pi\nano'"

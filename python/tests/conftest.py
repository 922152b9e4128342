"""Fixtures: the command-line host built beside the library, as the reference
for bytes and for the voice list."""
from __future__ import annotations

import os
import pathlib
import subprocess

import pytest

SOURCE_ROOT = pathlib.Path(__file__).resolve().parents[2]


@pytest.fixture(scope="session")
def host() -> pathlib.Path:
    """wavinstruments from TOLVIMO_WAVINSTRUMENTS, else beside TOLVIMO_WAV_LIBRARY."""
    named = os.environ.get("TOLVIMO_WAVINSTRUMENTS")
    if named:
        return pathlib.Path(named)
    library = os.environ.get("TOLVIMO_WAV_LIBRARY")
    beside = pathlib.Path(library).with_name("wavinstruments") if library else None
    if beside is None or not beside.exists():
        pytest.fail("set TOLVIMO_WAVINSTRUMENTS to the built wavinstruments (the reference)")
    return beside


@pytest.fixture
def host_render(host: pathlib.Path, tmp_path_factory: pytest.TempPathFactory):
    """The bytes the command-line host writes for a request."""

    def run(instrument: str, notes: str, sample_rate: int) -> bytes:
        path = tmp_path_factory.mktemp("host") / "reference.wav"
        subprocess.run([host, instrument, notes, str(sample_rate), path], check=True,
                       stdout=subprocess.DEVNULL)
        return path.read_bytes()

    return run


@pytest.fixture
def private_tempdir(tmp_path: pathlib.Path, monkeypatch: pytest.MonkeyPatch) -> pathlib.Path:
    """An empty folder that tempfile uses for the duration of a test."""
    folder = tmp_path / "tempdir"
    folder.mkdir()
    monkeypatch.setattr("tempfile.tempdir", str(folder))
    return folder

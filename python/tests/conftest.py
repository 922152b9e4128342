"""Fixtures: the command-line program built beside the package's core, as
the reference for bytes, lines and what a person is told."""
from __future__ import annotations

import os
import pathlib
import subprocess
from typing import Callable

import pytest

SOURCE_ROOT = pathlib.Path(__file__).resolve().parents[2]


@pytest.fixture(scope="session")
def host() -> pathlib.Path:
    """wavinstruments, named by TOLVIMO_WAVINSTRUMENTS."""
    named = os.environ.get("TOLVIMO_WAVINSTRUMENTS")
    if not named:
        pytest.fail("set TOLVIMO_WAVINSTRUMENTS to the built wavinstruments (the reference)")
    return pathlib.Path(named)


@pytest.fixture
def host_render(host: pathlib.Path, tmp_path_factory: pytest.TempPathFactory):
    """The bytes the command-line program writes for a request."""

    def run(instrument: str, notes: str, sample_rate: int) -> bytes:
        path = tmp_path_factory.mktemp("host") / "reference.wav"
        subprocess.run([host, instrument, notes, str(sample_rate), path], check=True,
                       stdout=subprocess.DEVNULL)
        return path.read_bytes()

    return run


@pytest.fixture
def host_says(host: pathlib.Path) -> Callable[..., list[str]]:
    """The program's error lines for a request, without its name in front."""

    def run(instrument: str, notes: str, sample_rate: int, path: str | os.PathLike[str]) -> list[str]:
        result = subprocess.run([host, instrument, notes, str(sample_rate), path],
                                capture_output=True, text=True)
        assert result.returncode != 0
        prefix = f"{host.name}: "
        return [line[len(prefix):] if line.startswith(prefix) else line
                for line in result.stderr.splitlines()]

    return run

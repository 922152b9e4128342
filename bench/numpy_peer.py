#!/usr/bin/env python3
"""The library's formulas vectorised with numpy (Debian: python3-numpy), as a
user would write them instead of calling the library: the sample times and
the envelope depend on t alone, so they are computed once per request and
shared by every note; each note then sums its harmonics. Writes the same WAV
bytes; used to compare speed whole process to whole process.

    numpy_peer.py INSTRUMENT NOTES SAMPLE_RATE OUTPUT
"""
import os
import struct
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "reference"))
from reference_renderer import TWO_PI, VOICES, frequencies  # noqa: E402


def envelope(t, attack, decay, sustain, release, duration):
    release_start = duration - release
    with np.errstate(divide="ignore", invalid="ignore"):
        rising = t / attack
        decaying = 1.0 - (1.0 - sustain) * ((t - attack) / decay)
        releasing = (1.0 - (t - release_start) / release) * sustain
    return np.where(t < attack, rising,
                    np.where(t < attack + decay, decaying,
                             np.where(t < release_start, sustain, releasing)))


def render_note(voice, frequency, t, level):
    harmonics, vibrato = voice[4], voice[5]
    f = frequency
    if vibrato:
        f = (1.0 + vibrato[0] * np.sin(vibrato[1] * t * TWO_PI)) * frequency
    total = np.zeros_like(t)
    for j, amplitude in enumerate(harmonics):
        total = total + amplitude * np.sin(float(j + 1) * f * t * TWO_PI)
    mix = total / float(len(harmonics))
    value = level * mix * 0.6 * 32767.0
    return value.astype(np.int32).astype("<i2")


def main():
    instrument, notes, rate, output = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
    voice = VOICES[instrument]
    t = np.arange(int(float(rate) * 0.5), dtype=np.float64) / float(rate)
    level = envelope(t, *voice[:4], 0.5)
    parts = [render_note(voice, frequency, t, level) for frequency in frequencies(notes)]
    samples = np.concatenate(parts) if parts else np.zeros(0, dtype="<i2")
    header = b"RIFF" + struct.pack("<I", 36 + 2 * samples.size) + b"WAVEfmt "
    header += struct.pack("<IHHIIHH", 16, 1, 1, rate, 2 * rate, 2, 16)
    header += b"data" + struct.pack("<I", 2 * samples.size)
    with open(output, "wb") as out:
        out.write(header)
        out.write(samples.tobytes())


if __name__ == "__main__":
    main()

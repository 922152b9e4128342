#!/usr/bin/env python3
"""Independent renderer of note text to WAV bytes, written from the formulas in
plain Python (math.sin and math.pow call the same C library functions the
library uses). Used to cross-check the library's files byte for byte.

    reference_renderer.py INSTRUMENT NOTES RATE   -> WAV bytes on stdout
    reference_renderer.py --check WAVINSTRUMENTS CATALOGUE
        -> compares a set of requests, every voice of the library's catalogue
"""
import json
import math
import os
import struct
import subprocess
import sys
import tempfile

TWO_PI = 6.283185307179586
SEMITONE = 0.08333333333333333

# name: (attack, decay, sustain, release, harmonics, vibrato (depth, rate) or None)
SERIES = [1.0 / (i + 1) for i in range(10)]
VOICES = {
    "piano": (0.01, 0.15, 0.6, 0.15, [1.0, 0.5, 0.33, 0.25, 0.2, 0.167, 0.143, 0.125], None),
    "synth": (0.05, 0.1, 0.8, 0.2, [1.0, 0.4, 0.2, 0.1], None),
    "drum": (0.001, 0.08, 0.0, 0.0, [1.0, 0.3, 0.1], None),
    "flute": (0.08, 0.05, 0.85, 0.1, [1.0, 0.3, 0.15, 0.1, 0.05], (0.02, 5.5)),
    "violin": (0.12, 0.08, 0.75, 0.2, SERIES, (0.015, 6.0)),
    "organ": (0.03, 0.0, 1.0, 0.05, [1.0, 0.8, 0.6, 0.4, 0.2, 0.1], None),
    "bell": (0.01, 1.5, 0.2, 0.5, [1.0, 0.7, 0.9, 0.5, 0.3, 0.6, 0.2, 0.4, 0.15, 0.3, 0.1, 0.2], None),
    "guitar": (0.003, 0.3, 0.3, 0.2, [1.0, 0.8, 0.6, 0.5, 0.3, 0.25, 0.15, 0.1, 0.05], None),
    "trumpet": (0.04, 0.05, 0.9, 0.08, [0.8, 1.0, 0.9, 0.7, 0.5, 0.3, 0.2, 0.1], (0.01, 5.0)),
    "harpsichord": (0.001, 0.05, 0.3, 0.1, [1.0, 0.7, 0.5, 0.3, 0.2, 0.15, 0.1], None),
    "glockenspiel": (0.002, 0.15, 0.1, 0.05, SERIES, None),
    "theremin": (0.05, 0.0, 1.0, 0.15, [1.0, 0.1], (0.03, 4.0)),
    "oboe": (0.06, 0.08, 0.8, 0.12, [1.0, 0.6, 0.4, 0.3, 0.2, 0.15, 0.1], (0.012, 5.5)),
    "bass": (0.02, 0.12, 0.7, 0.15, [1.0, 0.4, 0.2, 0.15, 0.1, 0.05], None),
    "epiano": (0.005, 0.2, 0.4, 0.1, [1.0, 0.6, 0.3, 0.2, 0.1], None),
}
OFFSETS = {"C": -9, "D": -7, "E": -5, "F": -4, "G": -2, "A": 0, "B": 2}


def pitch(letter, octave):
    n = (octave - 4) * 12 + OFFSETS[letter]
    return math.pow(2.0, float(n) * SEMITONE) * 440.0


def frequencies(text):
    """Yields each note's frequency; raises ValueError(position) at a non-note."""
    factor = {"#": math.pow(2.0, SEMITONE), "b": math.pow(2.0, -SEMITONE)}
    i = 0
    while i < len(text):
        letter = text[i]
        if letter not in OFFSETS:
            raise ValueError(i)
        i += 1
        acc = None
        if i < len(text) and text[i] in factor:
            acc = factor[text[i]]
            i += 1
        f = pitch(letter, 4)
        if acc is not None:
            f = f * acc
        if i < len(text) and text[i] in "012345678":
            f = pitch(letter, int(text[i]))
            if acc is not None:
                f = f * acc
            i += 1
            if i < len(text) and text[i] in factor:
                f = f * factor[text[i]]
                i += 1
        yield f


def envelope(t, a, d, s, r, duration):
    if t < a:
        return t / a
    if t < a + d:
        return 1.0 - (1.0 - s) * ((t - a) / d)
    start = duration - r
    if t < start:
        return s
    return (1.0 - (t - start) / r) * s


def render(instrument, text, rate):
    a, d, s, r, harmonics, vibrato = VOICES[instrument]
    n = int(float(rate) * 0.5)
    out = []
    for freq in frequencies(text):
        for i in range(n):
            t = float(i) / float(rate)
            f = freq
            if vibrato:
                f = (1.0 + vibrato[0] * math.sin(vibrato[1] * t * TWO_PI)) * freq
            total = 0.0
            for j, amp in enumerate(harmonics):
                total = total + amp * math.sin(float(j + 1) * f * t * TWO_PI)
            mix = total / float(len(harmonics))
            value = envelope(t, a, d, s, r, 0.5) * mix * 0.6 * 32767.0
            out.append(int(value))
    header = b"RIFF" + struct.pack("<I", 36 + 2 * len(out)) + b"WAVEfmt "
    header += struct.pack("<IHHIIHH", 16, 1, 1, rate, 2 * rate, 2, 16)
    header += b"data" + struct.pack("<I", 2 * len(out))
    return header + struct.pack("<%dh" % len(out), *out)


REQUESTS = [(name, "C#4Bb3A5Eb2G#6F0D8bB", 8000) for name in VOICES] + [
    ("piano", "CDEFG", 8001),
    ("violin", "A", 44100),
    ("bell", "B8Cb0E#", 16000),
    ("theremin", "G7#Ab1", 192000),
    # Repeated pitches, some spelled differently (C#4 and C4#), are copied.
    ("drum", "CCGGC#4C4#DbC", 8000),
    ("oboe", "CDEFGAB" * 3 + "C4", 11025),
]


def missing_voices(catalogue):
    """The catalogue's voices that this renderer cannot render, or lists in
    another order: a voice added to the library must be added here too."""
    with open(catalogue, encoding="utf-8") as f:
        names = [voice["name"] for voice in json.load(f)["voices"]]
    return [] if names == list(VOICES) else sorted(set(names) ^ set(VOICES)) or ["(order)"]


def check(cli, catalogue):
    missing = missing_voices(catalogue)
    if missing:
        print("the library's voices and the reference's differ:", ", ".join(missing))
        print("0 passed, 1 failed")
        return 1
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        for instrument, notes, rate in REQUESTS:
            path = os.path.join(folder, "out.wav")
            subprocess.run([cli, instrument, notes, str(rate), path], check=True,
                           stdout=subprocess.DEVNULL)
            with open(path, "rb") as f:
                same = f.read() == render(instrument, notes, rate)
            failures += 0 if same else 1
            if not same:
                print("differs:", instrument, notes, rate)
    print("%d passed, %d failed" % (len(REQUESTS) - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "--check":
        sys.exit(check(sys.argv[2], sys.argv[3]))
    sys.stdout.buffer.write(render(sys.argv[1], sys.argv[2], int(sys.argv[3])))

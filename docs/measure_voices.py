#!/usr/bin/env python3
"""Measures two things a listener hears in the rendered voices, from the
samples the command-line program writes:

- the pitch swing of each voice with a vibrato: the pitch heard (the
  repetition rate of the waveform, found every millisecond over about one
  period) relative to the note's, lowest to highest, in the first 0.1 s of a
  note and in its last 80 ms. The vibrato bends the frequency that
  multiplies the time since the note began, so the swing grows over the
  note, far beyond the depth the voice is defined with;
- the step at each note's end: how far from 0 the last sample of a note is
  (the next note, or the end of the file, starts at 0), for every note C0 to
  B8 at 44100 Hz, as a sample value and in dBFS.

    python3 docs/measure_voices.py --program build/default/wavinstruments
    python3 docs/measure_voices.py --program ... --check README.md docs/wavinstruments.1 ...

With --check it prints nothing and fails unless each file states every figure
as printed (spaces, line ends, backticks and roff's font changes and \\-
aside). Standard library only.
"""
import argparse
import array
import math
import os
import re
import subprocess
import sys

RATE = 44100
NOTE = "A4"
NOTE_HZ = 440.0
FIRST = (0.0, 0.1)   # the first 0.1 s of a note
LAST = (0.42, 0.5)   # its last 80 ms
HOP = RATE // 1000   # one estimate a millisecond
QUIET = 16.0         # RMS below which a frame is too faint to carry a pitch
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NOTE_NAMES = ["C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"]


def render(program, voice, notes):
    """The samples the program writes for `notes` at RATE."""
    wav = subprocess.run([program, "-q", voice, notes, str(RATE), "-"], check=True,
                         stdout=subprocess.PIPE).stdout
    if wav[:4] != b"RIFF" or wav[36:40] != b"data":
        sys.exit(f"{program} wrote no WAV for {voice}")
    samples = array.array("h")
    samples.frombytes(wav[44:])
    if sys.byteorder == "big":
        samples.byteswap()
    return samples


def voices_with_vibrato():
    """(name, depth in %, rate in Hz) of each voice with a vibrato, from the
    library's table of voices."""
    table = open(os.path.join(ROOT, "synthesis", "preset_table.h"), encoding="utf-8").read()
    rows = re.findall(r'\{"(\w+)",[^\n]*\b(true|false),\s*([\d.]+),\s*([\d.]+)\},', table)
    return [(name, f"{100 * float(depth):g}", f"{float(rate):g}")
            for name, vibrato, depth, rate in rows if vibrato == "true"]


def period_at(x, start, width, shortest, longest):
    """The waveform's period in samples at `start`: the lag whose shifted copy
    differs least over `width` samples (the first dip within 0.05 of the
    deepest, so that two periods are not taken for one), refined between
    neighbouring lags by a parabola."""
    window = x[start:start + width]
    energy = sum(v * v for v in window)
    scores = []
    for lag in range(shortest, longest + 1):
        shifted = x[start + lag:start + lag + width]
        difference = sum((a - b) * (a - b) for a, b in zip(window, shifted))
        scores.append(difference / (energy + sum(v * v for v in shifted) + 1e-9))
    deepest = min(scores[1:-1])
    k = next(k for k in range(1, len(scores) - 1)
             if scores[k] <= deepest + 0.05 and scores[k] <= scores[k - 1]
             and scores[k] <= scores[k + 1])
    before, at, after = scores[k - 1], scores[k], scores[k + 1]
    bend = before - 2 * at + after
    offset = 0.5 * (before - after) / bend if bend > 0 else 0.0
    return shortest + k + offset


def pitch_swing(samples, span):
    """Lowest and highest heard pitch, in % from the note, over frames whose
    middle lies in `span` (seconds)."""
    x = [float(v) for v in samples]
    nominal = RATE / NOTE_HZ
    width = int(round(nominal))
    shortest, longest = int(nominal / 1.6), int(nominal / 0.55) + 1
    lowest, highest = math.inf, -math.inf
    for start in range(0, len(x) - width - longest - 1, HOP):
        period = period_at(x, start, width, shortest, longest)
        middle = (start + (width + period) / 2) / RATE
        if not span[0] <= middle <= span[1]:
            continue
        # Too faint, or swelling too fast (the first milliseconds of an
        # attack) for a period to repeat.
        energy = sum(v * v for v in x[start:start + width])
        later = sum(v * v for v in x[start + round(period):start + round(period) + width])
        if math.sqrt(energy / width) < QUIET or not 0.5 <= later / (energy + 1e-9) <= 2.0:
            continue
        swing = 100.0 * (RATE / period / NOTE_HZ - 1.0)
        lowest, highest = min(lowest, swing), max(highest, swing)
    return lowest, highest


def end_steps(program, voice):
    """The largest |last sample| of a note, over every note C0 to B8."""
    notes = "".join(f"{name}{octave}" for octave in range(9) for name in NOTE_NAMES)
    samples = render(program, voice, notes)
    each = RATE // 2
    return max(abs(samples[k * each + each - 1]) for k in range(len(samples) // each))


def percent(value):
    return f"{value:+.1f}".replace("+0.0", "0.0").replace("-0.0", "0.0")


def figures(program):
    """The sentences the docs carry, one a figure."""
    said = []
    for name, depth, rate in voices_with_vibrato():
        samples = render(program, name, NOTE)
        # The middle of a frame is at least half a frame into the note.
        first = pitch_swing(samples[:int(RATE * 0.12)], FIRST)
        last = pitch_swing(samples, LAST)
        said.append(f"{name} ({depth} % at {rate} Hz): {percent(first[0])} to "
                    f"{percent(first[1])} % in the first 0.1 s, {percent(last[0])} to "
                    f"{percent(last[1])} % in the last 80 ms")
    voices = subprocess.run([program, "--list"], check=True, stdout=subprocess.PIPE,
                            text=True).stdout.split()
    bell = end_steps(program, "bell")
    others = max(end_steps(program, name) for name in voices if name != "bell")
    said.append(f"the bell ends each note up to {bell} away from 0 "
                f"({20 * math.log10(bell / 32768):.0f} dBFS), a click; "
                f"every other voice ends within {others} of 0")
    return said


def plain(text):
    """Text as it reads: roff's escapes and font changes, Markdown's
    backticks and line ends left out."""
    text = re.sub(r"\\f[BIRP]", "", text).replace("\\-", "-").replace("\\(aq", "'")
    text = re.sub(r"^\.[A-Z]+ ?", "", text, flags=re.M).replace("`", "")
    return " ".join(text.split())


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", required=True, help="the built wavinstruments")
    parser.add_argument("--check", nargs="+", metavar="FILE",
                        help="fail unless each FILE states every figure")
    arguments = parser.parse_args()
    measured = figures(arguments.program)
    if not arguments.check:
        print("\n".join(measured))
        sys.exit(0)
    missing = [(path, figure) for path in arguments.check
               for figure in measured
               if figure not in plain(open(path, encoding="utf-8").read())]
    for path, figure in missing:
        print(f"{path}: does not say \"{figure}\"")
    sys.exit(1 if missing else 0)

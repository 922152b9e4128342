#!/usr/bin/env python3
"""Draws docs/voices/NAME.png for every voice of the library: the whole note A4
(0.5 s at 44100 Hz) with its envelope, a zoom on four periods where it is
loudest, and the amplitudes of its harmonics as measured there in the
rendered samples. Every picture
comes from the library itself, called through the tolvimo_wav package.

    venv/bin/python docs/draw_voices.py

Needs the package installed for the interpreter (`pip install ./python` into
a venv made with --system-site-packages) and Debian's python3-matplotlib and
python3-numpy.
"""
import argparse
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
import tolvimo_wav  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
RATE = 44100
A4 = 440.0
HARMONICS = 12
INK, WAVE, ENVELOPE, BARS = "#1d2330", "#2c5cc5", "#c7702a", "#2c5cc5"


def samples_of(wav):
    """The 16-bit samples after the 44-byte header, as floats."""
    return np.frombuffer(wav[44:], dtype="<i2").astype(np.float64)


def envelope(samples, window):
    """The running peak of |samples| over windows of `window` samples."""
    count = len(samples) // window
    peaks = np.abs(samples[:count * window]).reshape(count, window).max(axis=1)
    return (np.arange(count) + 0.5) * window / RATE, peaks


def loudest_start(samples):
    """Where the note is loudest: the start of its loudest window of ten
    periods, so that a short voice (the drum) is seen while it sounds."""
    window = int(round(10 * RATE / A4))
    energy = np.convolve(samples * samples, np.ones(window), mode="valid")
    return int(np.argmax(energy))


def harmonic_amplitudes(samples, start):
    """Amplitude of each multiple of 440 Hz over ten periods from `start`,
    relative to the strongest."""
    period = RATE / A4
    length = int(round(10 * period))
    t = np.arange(length) / RATE
    piece = samples[start:start + length] * np.hanning(length)
    amplitudes = []
    for k in range(1, HARMONICS + 1):
        phase = 2 * np.pi * k * A4 * t
        amplitudes.append(np.hypot(piece @ np.sin(phase), piece @ np.cos(phase)))
    amplitudes = np.array(amplitudes)
    return amplitudes / amplitudes.max() if amplitudes.max() > 0 else amplitudes


def draw(voice, samples, out_path):
    plt.rcParams.update({"font.size": 8, "axes.edgecolor": "#9aa0ad", "text.color": INK,
                         "axes.labelcolor": INK, "xtick.color": INK, "ytick.color": INK})
    figure, (whole, zoom, bars) = plt.subplots(
        1, 3, figsize=(8.0, 2.2), dpi=80, gridspec_kw={"width_ratios": [2.2, 1.3, 1.2]})
    seconds = np.arange(len(samples)) / RATE
    whole.plot(seconds, samples, color=WAVE, linewidth=0.3, rasterized=True)
    times, peaks = envelope(samples, 200)
    whole.plot(times, peaks, color=ENVELOPE, linewidth=1.2)
    whole.set_xlim(0, 0.5)
    whole.set_ylim(-20000, 20000)
    whole.set_title("%s: A4, 0.5 s, and its envelope" % voice, loc="left")
    whole.set_xlabel("seconds")

    first = loudest_start(samples)
    span = int(round(4 * RATE / A4))
    zoom.plot(seconds[first:first + span] * 1000, samples[first:first + span], color=WAVE,
              linewidth=1.0)
    zoom.set_title("four periods at %.0f ms" % (first * 1000 / RATE), loc="left")
    zoom.set_xlabel("milliseconds")
    zoom.set_yticks([])

    amplitudes = harmonic_amplitudes(samples, first)
    bars.bar(np.arange(1, HARMONICS + 1), amplitudes, color=BARS, width=0.7)
    bars.set_xticks([1, 4, 8, 12])
    bars.set_ylim(0, 1.05)
    bars.set_title("harmonics (measured)", loc="left")
    bars.set_xlabel("harmonic")
    for axis in (whole, zoom, bars):
        axis.spines[["top", "right"]].set_visible(False)
    figure.tight_layout(pad=0.4)
    figure.savefig(out_path, dpi=80, pil_kwargs={"optimize": True})
    plt.close(figure)


def main():
    argparse.ArgumentParser(description=__doc__.splitlines()[0]).parse_args()
    out_dir = os.path.join(HERE, "voices")
    os.makedirs(out_dir, exist_ok=True)
    for voice in tolvimo_wav.VOICES:
        out_path = os.path.join(out_dir, voice + ".png")
        draw(voice, samples_of(tolvimo_wav.render_bytes(voice, "A4", RATE)), out_path)
        print("%s: %d bytes" % (out_path, os.path.getsize(out_path)))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Whole process against whole process: the library's host program (vector
path), the direct scalar renderer, the numpy peer and `cp` of a file of the
output's size (writing the bytes alone), run alternately on the same
requests. Checks that the three renderers write identical bytes, then prints
a table of median wall times, ratios and peak resident memory.

    compare.py FAST_CLI REFERENCE_CLI [--runs N] [--python PYTHON] [--runner CMD]
               [--only b,b']

FAST_CLI is build/release/wavinstruments, REFERENCE_CLI is
build/release-reference/wavinstruments. With --runner wine, both are Windows
programs (build/windows/wavinstruments.exe and a TOLVIMO_FAST_PATH=OFF build
of the same commit) run under wine; numpy and cp still run natively. --only
keeps the requests with those letters. PYTHON must have numpy (Debian:
python3-numpy); by default the first of python3 and /usr/bin/python3 that has.
"""
import argparse
import hashlib
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def heavy_notes():
    with open(os.path.join(HERE, "heavy_notes.txt")) as f:
        return f.read().strip()


def repeated(unit, size):
    return (unit * (size // len(unit) + 1))[:size]


REQUESTS = [
    ("(a) piano CDEFG 44100", "piano", "CDEFG", 44100),
    ("(b) bell, 223 pitches, 192000", "bell", heavy_notes(), 192000),
    ("(b') violin, 223 pitches, 192000", "violin", heavy_notes(), 192000),
    ("(c) piano, 994 bytes CDEFGAB, 44100", "piano", repeated("CDEFGAB", 994), 44100),
]


def numpy_python(choice):
    for python in ([choice] if choice else ["python3", "/usr/bin/python3"]):
        if subprocess.run([python, "-c", "import numpy"], capture_output=True).returncode == 0:
            return python
    sys.exit("no python3 with numpy (Debian: python3-numpy)")


def run(command, folder):
    """Wall seconds and peak resident KiB of one command. GNU time (Debian:
    time) reports the peak: a child's own count would include the pages of
    this script that it shared before exec."""
    report = os.path.join(folder, "rss")
    start = time.perf_counter()
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + command, check=True,
                   stdout=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    with open(report) as f:
        return elapsed, int(f.read().split()[-1])


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("fast")
    parser.add_argument("reference")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--python")
    parser.add_argument("--runner", default="", help="prefix for both programs, e.g. wine")
    parser.add_argument("--only", default="", help="request letters, e.g. b,b'")
    args = parser.parse_args()
    runner = args.runner.split()
    only = [x for x in args.only.split(",") if x]
    python = numpy_python(args.python)
    peer = os.path.join(HERE, "numpy_peer.py")
    # Current numpy runs slower under the OpenBLAS overrides some machines set.
    for name in ("OPENBLAS_CORETYPE", "OPENBLAS_L2_SIZE"):
        os.environ.pop(name, None)

    print("| request | library (s) | direct scalar (s) | numpy (s) | writing the bytes alone (s) "
          "| scalar / library | numpy / library | library / writing | library peak RSS (MiB) "
          "| samples held (MiB) |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as folder:
        for label, instrument, notes, rate in REQUESTS:
            if only and label[1:label.index(")")] not in only:
                continue
            outputs = {k: os.path.join(folder, k + ".wav") for k in ("fast", "scalar", "numpy")}
            # A file of the output's size for cp, made before the timed runs.
            subprocess.run(runner + [args.fast, instrument, notes, str(rate), outputs["fast"]],
                           check=True, stdout=subprocess.DEVNULL)
            same_size = os.path.join(folder, "same_size.wav")
            with open(outputs["fast"], "rb") as source, open(same_size, "wb") as copy:
                copy.write(source.read())
            commands = {
                "fast": runner + [args.fast, instrument, notes, str(rate), outputs["fast"]],
                "scalar": runner + [args.reference, instrument, notes, str(rate), outputs["scalar"]],
                "numpy": [python, peer, instrument, notes, str(rate), outputs["numpy"]],
                "cp": ["cp", same_size, os.path.join(folder, "copy.wav")],
            }
            times = {k: [] for k in commands}
            rss = []
            for _ in range(args.runs):
                for key, command in commands.items():
                    elapsed, peak = run(command, folder)
                    times[key].append(elapsed)
                    if key == "fast":
                        rss.append(peak)
            held = (os.path.getsize(outputs["fast"]) - 44) / 1048576.0
            digests = {k: digest(v) for k, v in outputs.items()}
            if not digests["fast"] == digests["scalar"] == digests["numpy"]:
                sys.exit("%s: the outputs differ" % label)
            median = {k: statistics.median(v) for k, v in times.items()}
            print("| %s | %.3f | %.3f | %.3f | %.3f | %.1fx | %.1fx | %.1fx | %.1f | %.1f |" % (
                label, median["fast"], median["scalar"], median["numpy"], median["cp"],
                median["scalar"] / median["fast"], median["numpy"] / median["fast"],
                median["fast"] / median["cp"], max(rss) / 1024.0, held))
    print("\nThe three renderers wrote identical bytes for every request (%d alternated runs "
          "each)." % args.runs)


if __name__ == "__main__":
    main()

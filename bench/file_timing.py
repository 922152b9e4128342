#!/usr/bin/env python3
"""Wall time of request (b) (the bell, or --instrument) written as a new file
and replacing an existing one, for each host program given, run alternately.

Each run starts from a synced disk (untimed), so a replacing run pays for
getting its own file, not earlier ones, to the disk. Prints the median and
the spread of each program and case.

    python3 bench/file_timing.py PROGRAM... [--runs 15] [--dir DIR] [--instrument bell]
"""
import argparse
import os
import pathlib
import statistics
import subprocess
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent


def timed(program, instrument, notes, path):
    start = time.perf_counter()
    subprocess.run([program, instrument, notes, "192000", path], check=True,
                   stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("programs", nargs="+")
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--dir", default=None, help="where the files go (default: a temporary directory)")
    parser.add_argument("--instrument", default="bell")
    args = parser.parse_args()
    notes = (HERE / "heavy_notes.txt").read_text().strip()
    with tempfile.TemporaryDirectory(dir=args.dir) as work:
        path = os.path.join(work, "out.wav")
        times = {(p, case): [] for p in args.programs for case in ("create", "replace")}
        for _ in range(args.runs):
            for program in args.programs:
                for case in ("create", "replace"):
                    if case == "create" and os.path.exists(path):
                        os.remove(path)
                    if case == "replace" and not os.path.exists(path):
                        timed(program, args.instrument, notes, path)
                    os.sync()
                    times[(program, case)].append(timed(program, args.instrument, notes, path))
        print(f"| program | case | median (ms) | min-max (ms) |  ({args.runs} runs each)")
        print("|---|---|---|---|")
        for (program, case), values in times.items():
            ms = [v * 1000 for v in values]
            print(f"| {program} | {case} | {statistics.median(ms):.1f} | {min(ms):.1f}-{max(ms):.1f} |")


if __name__ == "__main__":
    main()

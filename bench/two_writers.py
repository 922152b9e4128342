#!/usr/bin/env python3
"""Two calls writing one hard-linked file at once: how often the file ends
as neither call's output while both report success.

Each trial gives out.wav a second name, starts a long call writing it (the
bell over request (b), 43 MB) and, at a random moment within the time that
call takes alone, a short one (piano "C" at 8000 Hz); then compares the
file with each call's own output, written beforehand to a file of its own.

    python3 bench/two_writers.py PROGRAM [--trials 30] [--runner wine]
"""
import argparse
import collections
import os
import pathlib
import random
import subprocess
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("program")
    parser.add_argument("--trials", type=int, default=30)
    parser.add_argument("--runner", default=None, help="a program to run PROGRAM with (wine)")
    parser.add_argument("--dir", default=None)
    args = parser.parse_args()
    notes = (HERE / "heavy_notes.txt").read_text().strip()
    prefix = [args.runner] if args.runner else []
    program = os.path.abspath(args.program)  # the calls run in the temporary directory
    long_call = prefix + [program, "bell", notes, "192000"]
    short_call = prefix + [program, "piano", "C", "8000"]
    with tempfile.TemporaryDirectory(dir=args.dir) as work:
        def run(command, name):
            return subprocess.Popen(command + [name], cwd=work, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
        durations = []
        for _ in range(3):
            start = time.perf_counter()
            run(long_call, "long.wav").wait()
            durations.append(time.perf_counter() - start)
        duration = sorted(durations)[1]
        run(short_call, "short.wav").wait()
        own = {name: pathlib.Path(work, name + ".wav").read_bytes() for name in ("long", "short")}
        out = pathlib.Path(work, "out.wav")
        outcomes = collections.Counter()
        for _ in range(args.trials):
            for name in ("out.wav", "link.wav"):
                pathlib.Path(work, name).unlink(missing_ok=True)
            out.write_bytes(b"old\n")
            os.link(out, os.path.join(work, "link.wav"))
            first = run(long_call, "out.wav")
            time.sleep(random.uniform(0, duration))
            second = run(short_call, "out.wav")
            statuses = (first.wait(), second.wait())
            data = out.read_bytes()
            ended = next((name for name, wav in own.items() if wav == data), "neither")
            outcomes[(statuses, ended)] += 1
        print(f"{args.trials} trials: (long call's status, short call's status), what the file holds")
        for (statuses, ended), count in sorted(outcomes.items()):
            print(f"  {statuses}: {ended}'s output, {count}")


if __name__ == "__main__":
    main()

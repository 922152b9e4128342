#!/usr/bin/env python3
"""How often a call killed with SIGKILL leaves a hidden temporary file.

Starts WRITERS host programs at once, each replacing the same existing file
with request (b), kills each at a random moment within 1.2 times the median
time that many replacing calls take together, and counts the files named
".out.wav.tolvimo-*" left behind (removing them before the next trial).

    python3 bench/kill_leftovers.py PROGRAM [--trials 200] [--writers 1]
"""
import argparse
import glob
import os
import pathlib
import random
import signal
import subprocess
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("program")
    parser.add_argument("--trials", type=int, default=200)
    parser.add_argument("--writers", type=int, default=1)
    parser.add_argument("--dir", default=None)
    args = parser.parse_args()
    notes = (HERE / "heavy_notes.txt").read_text().strip()
    with tempfile.TemporaryDirectory(dir=args.dir) as work:
        path = os.path.join(work, "out.wav")
        command = [args.program, "bell", notes, "192000", path]
        # How long WRITERS replacing calls at once take: the kills fall
        # anywhere in that time.
        def together():
            start = time.perf_counter()
            for process in [subprocess.Popen(command, stdout=subprocess.DEVNULL)
                            for _ in range(args.writers)]:
                process.wait()
            return time.perf_counter() - start
        together()
        duration = sorted(together() for _ in range(5))[2]
        kills = leftovers = trials_with = 0
        for _ in range(args.trials):
            running = [subprocess.Popen(command, stdout=subprocess.DEVNULL)
                       for _ in range(args.writers)]
            started = time.perf_counter()
            moments = sorted(random.uniform(0, duration * 1.2) for _ in running)
            for process, moment in zip(running, moments):
                time.sleep(max(0.0, moment - (time.perf_counter() - started)))
                process.send_signal(signal.SIGKILL)
            for process in running:
                if process.wait() == -signal.SIGKILL:
                    kills += 1
            left = glob.glob(os.path.join(work, ".out.wav.tolvimo-*"))
            leftovers += len(left)
            trials_with += 1 if left else 0
            for name in left:
                os.remove(name)
        print(f"{args.writers} writer(s), {args.trials} trials: {kills} calls killed, "
              f"{leftovers} temporaries left in {trials_with} trials "
              f"({args.writers} calls together take {duration * 1000:.0f} ms)")


if __name__ == "__main__":
    main()

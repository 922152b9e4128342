#!/usr/bin/env python3
"""The Python package's calls, timed: two heavy render_bytes calls on two
threads against the same two one after the other; render_bytes and
render_samples of the heavy violin request against the command-line
program writing the same file (process start included); and the peak
memory of the largest request in a fresh process beside the result's size.
Cases run alternately, so that load from elsewhere falls on all of them
alike; medians are printed. Two processes of the program at once show what
parallelism the machine gives at the time (a loaded machine, or one that
shares the CPU between sessions, gives less than 2x to either).

    python_calls.py WAVINSTRUMENTS [--runs 9]

Run it with the interpreter the package is installed for (a virtual
environment's python after `pip install ./python`).
"""
import argparse
import pathlib
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import tolvimo_wav

HEAVY = (pathlib.Path(__file__).resolve().parent / "heavy_notes.txt").read_text().strip()

# The largest request: as many one-letter notes as the note text may hold,
# at the highest rate.
PEAK_SCRIPT = """
import sys, tolvimo_wav
from tolvimo_wav._generated import MAX_NOTE_TEXT_BYTES, MAX_SAMPLE_RATE
def high_water():
    # This process's own peak (ru_maxrss would include the parent's, from before exec).
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) * 1024 for line in status if line.startswith("VmHWM:"))
notes = ("CDEFGAB" * 1000)[:MAX_NOTE_TEXT_BYTES]
call = getattr(tolvimo_wav, sys.argv[1])
tolvimo_wav.render_bytes("piano", "C", 8000, quiet=True)
before = high_water()
result = call("piano", notes, MAX_SAMPLE_RATE, quiet=True)
size = len(result) if isinstance(result, bytes) else len(result[0]) * 2
print(size, before, high_water())
"""


def seconds(work) -> float:
    start = time.perf_counter()
    work()
    return time.perf_counter() - start


def two_calls_serial() -> None:
    for _ in range(2):
        tolvimo_wav.render_bytes("bell", HEAVY, 96000, quiet=True)


def two_calls_on_threads() -> None:
    threads = [threading.Thread(target=tolvimo_wav.render_bytes,
                                args=("bell", HEAVY, 96000), kwargs={"quiet": True})
               for _ in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()


def two_programs_at_once(program: str, folder: str) -> None:
    # The machine's own parallelism, for comparison: two processes of the
    # command-line program on the same request.
    running = [subprocess.Popen([program, "bell", HEAVY, "96000", f"{folder}/{k}.wav"],
                                stdout=subprocess.DEVNULL) for k in range(2)]
    for process in running:
        process.wait()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("cli")
    parser.add_argument("--runs", type=int, default=9)
    options = parser.parse_args()
    folder = tempfile.mkdtemp()
    out = f"{folder}/violin.wav"

    def cli() -> None:
        subprocess.run([options.cli, "violin", HEAVY, "192000", out], check=True,
                       stdout=subprocess.DEVNULL)

    cases = {
        "2 x bell heavy 96000, one after the other": two_calls_serial,
        "2 x bell heavy 96000, on 2 threads": two_calls_on_threads,
        "2 x bell heavy 96000, wavinstruments one after the other": lambda: [
            subprocess.run([options.cli, "bell", HEAVY, "96000", f"{folder}/{k}.wav"], check=True,
                           stdout=subprocess.DEVNULL) for k in range(2)],
        "2 x bell heavy 96000, wavinstruments at once": lambda: two_programs_at_once(
            options.cli, folder),
        "violin heavy 192000, render_bytes": lambda: tolvimo_wav.render_bytes(
            "violin", HEAVY, 192000, quiet=True),
        "violin heavy 192000, render_samples": lambda: tolvimo_wav.render_samples(
            "violin", HEAVY, 192000, quiet=True),
        "violin heavy 192000, wavinstruments to a file": cli,
    }
    times: dict = {name: [] for name in cases}
    for work in cases.values():
        work()  # warm up: pages, caches, the program's first start
    for _ in range(options.runs):
        for name, work in cases.items():
            times[name].append(seconds(work))
    median = {name: statistics.median(values) for name, values in times.items()}
    for name, value in median.items():
        print(f"{name:50} {value * 1000:8.1f} ms")
    names = list(cases)
    print(f"threads: serial / parallel = {median[names[0]] / median[names[1]]:.2f}x "
          f"(two programs: {median[names[2]] / median[names[3]]:.2f}x)")
    for name in names[4:6]:
        print(f"{name.split(', ')[1]} / wavinstruments = {median[name] / median[names[6]]:.2f}x")
    for call in ("render_bytes", "render_samples"):
        result = subprocess.run([sys.executable, "-c", PEAK_SCRIPT, call], check=True,
                                capture_output=True, text=True)
        size, before, peak = map(int, result.stdout.split())
        print(f"largest request, {call}: result {size / 1e6:.1f} MB, peak RSS "
              f"{peak / 1e6:.1f} MB, {before / 1e6:.1f} MB before the call: "
              f"{(peak - before) / size:.2f}x the result")
    return 0


if __name__ == "__main__":
    sys.exit(main())

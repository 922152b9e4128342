#!/usr/bin/env python3
"""The Python package's calls, timed: the heavy request (223 pitches at
192000 Hz) with the violin and the bell, rendered by ``render`` into a file,
by ``render_bytes`` and by ``render_samples``, each against the command-line
program writing the same file as a child process (its start included), with
the ratios; two heavy render_bytes calls on two threads against the same two
one after the other; and the peak memory of the largest request in a fresh
process beside the result's size. Every case runs once per round, rounds
alternate the cases, so that load from elsewhere falls on all of them alike;
medians are printed, with the load average before and after. Two processes
of the program at once show what parallelism the machine gives at the time (a
loaded machine, or one that shares the CPU between sessions, gives less than
2x to either).

    python_calls.py WAVINSTRUMENTS [--runs 9]

Run it with the interpreter the package is installed for (a virtual
environment's python after `pip install ./python`).
"""
import argparse
import os
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


def load() -> str:
    return " ".join(f"{value:.2f}" for value in os.getloadavg())


VOICES = ("violin", "bell")
CALLS = ("render to a file", "render_bytes", "render_samples")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("cli")
    parser.add_argument("--runs", type=int, default=9)
    options = parser.parse_args()
    folder = tempfile.mkdtemp()

    def program(voice: str) -> None:
        subprocess.run([options.cli, voice, HEAVY, "192000", f"{folder}/{voice}_program.wav"],
                       check=True, stdout=subprocess.DEVNULL)

    cases = {}
    for voice in VOICES:
        # Both write over the file of the previous round, as a rerun does.
        cases[f"{voice}, wavinstruments to a file"] = lambda voice=voice: program(voice)
        cases[f"{voice}, render to a file"] = lambda voice=voice: tolvimo_wav.render(
            voice, HEAVY, 192000, f"{folder}/{voice}.wav")
        cases[f"{voice}, render_bytes"] = lambda voice=voice: tolvimo_wav.render_bytes(
            voice, HEAVY, 192000)
        cases[f"{voice}, render_samples"] = lambda voice=voice: tolvimo_wav.render_samples(
            voice, HEAVY, 192000)
    cases.update({
        "2 x bell 96000, one after the other": two_calls_serial,
        "2 x bell 96000, on 2 threads": two_calls_on_threads,
        "2 x bell 96000, wavinstruments one after the other": lambda: [
            subprocess.run([options.cli, "bell", HEAVY, "96000", f"{folder}/{k}.wav"], check=True,
                           stdout=subprocess.DEVNULL) for k in range(2)],
        "2 x bell 96000, wavinstruments at once": lambda: two_programs_at_once(
            options.cli, folder),
    })
    print(f"load average before: {load()}")
    times: dict = {name: [] for name in cases}
    for work in cases.values():
        work()  # warm up: pages, caches, the program's first start
    for _ in range(options.runs):
        for name, work in cases.items():
            times[name].append(seconds(work))
    median = {name: statistics.median(values) for name, values in times.items()}
    print(f"load average after: {load()}")
    print(f"heavy request, 192000 Hz, medians of {options.runs} alternated runs:")
    for name, value in median.items():
        print(f"  {name:52} {value * 1000:8.1f} ms")
    for voice in VOICES:
        reference = median[f"{voice}, wavinstruments to a file"]
        ratios = ", ".join(f"{call} {median[f'{voice}, {call}'] / reference:.2f}x"
                           for call in CALLS)
        print(f"{voice} / wavinstruments: {ratios}")
    serial, threaded, programs, at_once = (median[name] for name in list(cases)[-4:])
    print(f"threads: serial / parallel = {serial / threaded:.2f}x "
          f"(two programs: {programs / at_once:.2f}x)")
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

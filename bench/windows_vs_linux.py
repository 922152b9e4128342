#!/usr/bin/env python3
"""Counts the samples in which the Windows build, run under wine, differs from
the Linux build: the heavy request (every distinct pitch of the note syntax)
of every voice at 44100 Hz. A one-off measurement, not a test: the Windows
build uses mingw-w64's sin, which can differ from glibc's in the last bit,
and a sample changes only when its value lies within about 3e-12 of a
nonzero integer.

    windows_vs_linux.py LINUX_CLI WINDOWS_CLI [--rate HZ]

LINUX_CLI is build/default/wavinstruments, WINDOWS_CLI
build/windows/wavinstruments.exe (cmake --preset windows && cmake --build
--preset windows). Needs wine (Debian: wine, wine64); uses WINEPREFIX if set,
else a fresh prefix that it removes afterwards.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def samples(path):
    with open(path, "rb") as f:
        data = f.read()
    return [int.from_bytes(data[k:k + 2], "little", signed=True) for k in range(44, len(data), 2)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("linux")
    parser.add_argument("windows")
    parser.add_argument("--rate", type=int, default=44100)
    args = parser.parse_args()
    args.linux, args.windows = os.path.abspath(args.linux), os.path.abspath(args.windows)
    with open(os.path.join(HERE, "heavy_notes.txt")) as f:
        notes = f.read().strip()
    voices = subprocess.run([args.linux, "--list"], check=True, capture_output=True,
                            text=True).stdout.split()

    env = dict(os.environ, WINEDEBUG="-all")
    own_prefix = None
    if "WINEPREFIX" not in env:
        own_prefix = env["WINEPREFIX"] = tempfile.mkdtemp()
    wine = shutil.which("wine64") or shutil.which("wine")
    subprocess.run([wine, "wineboot", "--init"], env=env, capture_output=True)
    subprocess.run(["wineserver", "-w"], env=env, capture_output=True)
    total = differing = 0
    try:
        with tempfile.TemporaryDirectory() as folder:
            print("| voice | samples | differing | largest difference |")
            print("|---|---|---|---|")
            for voice in voices:
                native = os.path.join(folder, "linux.wav")
                windows = os.path.join(folder, "windows.wav")
                subprocess.run([args.linux, voice, notes, str(args.rate), native], check=True,
                               stdout=subprocess.DEVNULL)
                subprocess.run([wine, args.windows, voice, notes, str(args.rate), "windows.wav"],
                               check=True, cwd=folder, env=env, stdout=subprocess.DEVNULL)
                a, b = samples(native), samples(windows)
                if len(a) != len(b):
                    sys.exit("%s: %d samples on Linux, %d on Windows" % (voice, len(a), len(b)))
                diffs = [abs(x - y) for x, y in zip(a, b) if x != y]
                total += len(a)
                differing += len(diffs)
                print("| %s | %d | %d | %d |" % (voice, len(a), len(diffs), max(diffs, default=0)))
    finally:
        if own_prefix:
            subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
            shutil.rmtree(own_prefix, ignore_errors=True)
    print("\n%d of %d samples differ between Windows (under wine) and Linux." % (differing, total))


if __name__ == "__main__":
    main()

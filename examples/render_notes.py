#!/usr/bin/env python3
"""Renders note text to a WAV file with the tolvimo_wav package:
render_notes.py INSTRUMENT NOTES SAMPLE_RATE OUTPUT"""
import sys

import tolvimo_wav


def main(arguments: list[str]) -> int:
    if len(arguments) != 4 or not arguments[2].lstrip("-").isdigit():
        print("usage: render_notes.py INSTRUMENT NOTES SAMPLE_RATE OUTPUT", file=sys.stderr)
        return 2
    instrument, notes, rate, output = arguments
    try:
        tolvimo_wav.render(instrument, notes, int(rate), output)
    except tolvimo_wav.TolvimoError as refusal:  # the library's line is on standard output
        print(f"not written (status {refusal.code})", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

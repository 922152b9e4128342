#!/usr/bin/env python3
"""Renders note text to a WAV file with the tolvimo_wav package."""
import argparse
import sys

import tolvimo_wav

EPILOG = """\
A note is a letter A to G (upper case), then optionally # or b, an octave
digit 0 to 8 (default 4) and, after the digit, one more # or b; notes follow
one another with nothing between them: "CDEFG", "C#4Bb3".

exit status: 0 written, 1 not written (the message says why), 2 wrong
arguments, 3 unknown instrument, 4 sample rate out of range."""

EXIT_STATUS = {tolvimo_wav.UnknownInstrument: 3, tolvimo_wav.SampleRateOutOfRange: 4}


def main(arguments: list) -> int:
    parser = argparse.ArgumentParser(
        prog="render_notes.py", description=__doc__, epilog=EPILOG,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("instrument", metavar="INSTRUMENT",
                        help="one of: " + ", ".join(tolvimo_wav.VOICES))
    parser.add_argument("notes", metavar="NOTES", help='the notes, for example "C#4Bb3"')
    parser.add_argument("sample_rate", metavar="SAMPLE_RATE", type=int,
                        help=f"samples per second, {tolvimo_wav.MIN_SAMPLE_RATE} to "
                             f"{tolvimo_wav.MAX_SAMPLE_RATE}")
    parser.add_argument("output", metavar="OUTPUT", help="the WAV file to write")
    parser.add_argument("-q", "--quiet", action="store_true",
                        help="print nothing when the file is written")
    options = parser.parse_args(arguments)
    try:
        tolvimo_wav.render(options.instrument, options.notes, options.sample_rate, options.output,
                           quiet=options.quiet)
    except tolvimo_wav.TolvimoError as refusal:
        for line in str(refusal).splitlines():
            print(f"{parser.prog}: {line}", file=sys.stderr)
        return next((status for kind, status in EXIT_STATUS.items()
                     if isinstance(refusal, kind)), 1)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

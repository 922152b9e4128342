#!/usr/bin/env python3
"""Renders a WAV file by calling TolvimoWAVInstruments through ctypes.

    render_with_ctypes.py [--library PATH] INSTRUMENT NOTES SAMPLE_RATE OUTPUT

The library takes NUL-terminated UTF-16 strings, so each argument is encoded
as UTF-16 (little-endian, as on every platform the library is built for)
rather than passed as c_wchar_p, which is UTF-32 on Linux. The report lines
appear on standard output; the status code is printed after them and
becomes the exit status (0 for 999).
"""
import argparse
import ctypes
import ctypes.util
import sys

STATUS_CREATED = 999
RATE_LIMITS = (-2**31, 2**31 - 1)  # the library's rate is a 32-bit signed integer


def load_library(path):
    if path is None:
        path = ctypes.util.find_library("TolvimoWAVInstruments") or "libTolvimoWAVInstruments.so.1"
    library = ctypes.CDLL(path)
    library.WAVInstruments.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int32,
                                       ctypes.c_char_p]
    library.WAVInstruments.restype = ctypes.c_int32
    return library


def utf16(text):
    return text.encode("utf-16-le", "surrogatepass") + b"\0\0"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--library", help="path of the shared library or DLL")
    parser.add_argument("instrument")
    parser.add_argument("notes")
    parser.add_argument("sample_rate", type=int)
    parser.add_argument("output")
    args = parser.parse_args()
    # ctypes would silently wrap a larger rate into 32 bits (4294975296 to
    # 8000) and render at a rate nobody asked for.
    if not RATE_LIMITS[0] <= args.sample_rate <= RATE_LIMITS[1]:
        parser.error("SAMPLE_RATE %d does not fit in 32 bits; the library takes 8000 to 192000"
                     % args.sample_rate)

    library = load_library(args.library)
    sys.stdout.flush()  # the library writes to the same standard output
    status = library.WAVInstruments(utf16(args.instrument), utf16(args.notes), args.sample_rate,
                                    utf16(args.output))
    print("status", status)
    return 0 if status == STATUS_CREATED else 1


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Checks the build's numeric flags from its own compile commands
(compile_commands.json): every source of the library (the request, the
scalar path, the vector kernels) must be compiled with -ffp-contract=off as
the last word on contraction, and with nothing that lets the compiler
reassociate or drop IEEE semantics (-ffast-math, -Ofast, and the flags
fast-math is made of). The proof and the kernel model assume exactly that;
a compiler that contracts by default (g++ treats -ffp-contract=on as off,
clang does not; on ARM every target contracts unless told not to) would
otherwise change the values where no test on this machine looks.

It exits 0 when every library source is compiled so, 1 when one is not, 2
when the compile commands are missing or name none of the library's
sources."""
import json
import os
import shlex
import sys

# The object targets whose sources make the library's values.
LIBRARY_TARGETS = ("tolvimo_objects.dir", "tolvimo_static.dir")
# Sources the check must see, or it checked the wrong build.
REQUIRED = ("synthesis/render_note.cpp", "synthesis/envelope.cpp",
            "synthesis/fast/render_fast.cpp", "synthesis/fast/note_kernel_pairs.cpp",
            "notes/note_reader.cpp", "request/render_entry.cpp")
# Flags that give up IEEE semantics, alone or as part of -ffast-math.
FORBIDDEN = ("-ffast-math", "-Ofast", "-funsafe-math-optimizations", "-fassociative-math",
             "-freciprocal-math", "-ffinite-math-only", "-fno-signed-zeros",
             "-fno-trapping-math", "-fcx-limited-range", "-mdaz-ftz", "-fapprox-func",
             "-ffp-model=fast")


def problems(arguments):
    """What is wrong with one compile command's flags."""
    found = []
    contraction = [a for a in arguments if a.startswith("-ffp-contract=")]
    if not contraction:
        found.append("no -ffp-contract=off")
    elif contraction[-1] != "-ffp-contract=off":
        found.append(f"{contraction[-1]} (the last -ffp-contract must be off)")
    found += [a for a in arguments if a in FORBIDDEN or a.startswith("-ffp-model=fast")]
    return found


def main():
    if len(sys.argv) != 2:
        print("usage: check_numeric_flags.py BUILD_FOLDER")
        return 2
    path = os.path.join(sys.argv[1], "compile_commands.json")
    try:
        with open(path, encoding="utf-8") as commands:
            entries = json.load(commands)
    except (OSError, ValueError) as error:
        print(f"check_numeric_flags: cannot read {path}: {error}")
        return 2
    seen, failures = set(), 0
    for entry in entries:
        output = entry.get("output", "") or entry.get("command", "")
        if not any(target in output for target in LIBRARY_TARGETS):
            continue
        arguments = entry.get("arguments") or shlex.split(entry["command"])
        source = os.path.relpath(entry["file"], os.path.dirname(os.path.dirname(
            os.path.abspath(__file__))))
        seen.add(source)
        wrong = problems(arguments)
        if wrong:
            failures += 1
            print(f"NUMERIC FLAGS: {source}: {', '.join(wrong)}")
    missing = [s for s in REQUIRED if s not in seen]
    if missing:
        print(f"check_numeric_flags: {path} lacks the library's {', '.join(missing)}")
        return 2
    if failures:
        print(f"{failures} of {len(seen)} library sources compiled with other numeric flags")
        return 1
    print(f"{len(seen)} library sources compiled with -ffp-contract=off and without fast-math")
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Applies slips a tired maintainer might make, one at a time, to a scratch
copy of the tree, and checks that each fails a test of the test workflow:
the proof's, the kernel model's or the numeric flags' check. Not part of
ctest (it rebuilds the kernels for some slips: a few minutes on two cores).

    python3 proof/slips.py [--build FOLDER] [NAME ...]

Each slip is a list of (file, old text, new text) edits and the tests that
must then fail (ctest -R). It exits 0 when every slip tried fails its tests,
1 when one passes them, 2 when a slip no longer applies (its text moved:
update it with the code)."""
import argparse
import os
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KERNEL = "synthesis/fast/note_kernel_body.h"
MODEL = "proof/kernel_model.py"
CHECKER = "proof/check_error_bound.py"
SETTINGS = "cmake/CompilerSettings.cmake"
LIBRARY = "cmake/Library.cmake"
PROOF = "proof_error_bound$|proof_kernel_model"
FLAGS = "numeric_flags"

# The vibrato's own pair evaluated afresh at every other anchor, kernel and
# model alike.
EVERY_OTHER = [
    (KERNEL, "    int32_t sinceAnchor = ROTATIONS_PER_ANCHOR;\n",
     "    int32_t sinceAnchor = ROTATIONS_PER_ANCHOR;\n    int32_t anchors = 0;\n"),
    (KERNEL, "        sinceAnchor = anchor ? 0 : sinceAnchor + 1;\n",
     "        sinceAnchor = anchor ? 0 : sinceAnchor + 1;\n"
     "        const bool fresh = anchor && anchors++ % 2 == 0;\n"),
    (KERNEL, "            if (anchor) {\n#pragma GCC unroll 8\n"
             "                for (int g = 0; g < G; ++g) turns[g] = t[g] * voice.vibratoRate;",
     "            if (fresh) {\n#pragma GCC unroll 8\n"
     "                for (int g = 0; g < G; ++g) turns[g] = t[g] * voice.vibratoRate;"),
    (MODEL, "    since = facts[\"rotations_per_anchor\"]\n",
     "    since = facts[\"rotations_per_anchor\"]\n    anchors = 0\n"),
    (MODEL, "        since = 0 if anchor else since + 1\n",
     "        since = 0 if anchor else since + 1\n        fresh = anchor and anchors % 2 == 0\n"
     "        anchors += anchor\n"),
    (MODEL, "                if anchor:\n                    wobble[lane]",
     "                if fresh:\n                    wobble[lane]"),
]

# The vibrato's own pair evaluated once a kernel call (up to 1024 samples).
PER_CALL = [
    (KERNEL, "            if (anchor) {\n#pragma GCC unroll 8\n"
             "                for (int g = 0; g < G; ++g) turns[g] = t[g] * voice.vibratoRate;",
     "            if (at == 0) {\n#pragma GCC unroll 8\n"
     "                for (int g = 0; g < G; ++g) turns[g] = t[g] * voice.vibratoRate;"),
    (MODEL, "                if anchor:\n                    wobble[lane]",
     "                if at == 0:\n                    wobble[lane]"),
]

TOLERANCE = [
    (MODEL, "        if mine.hex() != angle.hex():",
     "        if abs(mine - angle) > 1e-12 * abs(angle):"),
    (MODEL, "            if mine.hex() != theirs.hex():\n                differ",
     "            if abs(mine - theirs) > 1e-12 * abs(theirs):\n                differ"),
    (MODEL, "            if mine.hex() != theirs.hex():\n                mismatches",
     "            if abs(mine - theirs) > 1e-12 * abs(theirs):\n                mismatches"),
]

NO_CONTRACT_OFF = [(SETTINGS, "INTERFACE -ffp-contract=off -fno-fast-math",
                    "INTERFACE -fno-fast-math")]

SLIPS = {
    "wobble-anchor-every-other": (EVERY_OTHER, PROOF),
    "wobble-anchor-per-call": (PER_CALL, PROOF),
    "reduction-top-binade": ([(CHECKER, "    high = math.ceil(math.log2(highest))",
                               "    high = math.floor(math.log2(highest))")], PROOF),
    "sollya-dirtyinfnorm": ([(CHECKER, "s = supnorm({poly(facts['sine'], 1)}, sin(2 * pi * x), "
                                       "{interval}, absolute, 2^-40);",
                              "s = dirtyinfnorm({poly(facts['sine'], 1)} - sin(2 * pi * x), "
                              "{interval});"),
                             (CHECKER, "c = supnorm({poly(facts['cosine'], 0)}, cos(2 * pi * x), "
                                       "{interval}, absolute, 2^-40);",
                              "c = dirtyinfnorm({poly(facts['cosine'], 0)} - cos(2 * pi * x), "
                              "{interval});")], PROOF),
    "polynomial-edge-cosine": ([(CHECKER,
                                 "            goal = (f\"{{ |c| <= {dyadic(edge, True)} -> \"",
                                 "            goal = (f\"{{ |c| <= "
                                 "{dyadic(1 + facts['cosine_error'], True)} -> \"")], PROOF),
    "checker-rotations-off-by-one": ([(CHECKER, "    for _ in range(steps):",
                                       "    for _ in range(steps - 1):")], PROOF),
    "model-tolerance": (TOLERANCE, PROOF),
    "model-tolerance+no-fp-contract-off": (TOLERANCE + NO_CONTRACT_OFF, f"{PROOF}|{FLAGS}"),
    "fp-contract-on": ([(SETTINGS, "INTERFACE -ffp-contract=off", "INTERFACE -ffp-contract=on")],
                       FLAGS),
    "fp-contract-kernels-only": (NO_CONTRACT_OFF + [
        (LIBRARY, "set(avx2_options -mavx2 -mfma)",
         "set(avx2_options -mavx2 -mfma -ffp-contract=off)"),
        (LIBRARY, "set(avx512_options -mavx512f -mfma)",
         "set(avx512_options -mavx512f -mfma -ffp-contract=off)"),
        (LIBRARY, "  list(APPEND TOLVIMO_SOURCES synthesis/fast/note_kernel_pairs.cpp)\n",
         "  list(APPEND TOLVIMO_SOURCES synthesis/fast/note_kernel_pairs.cpp)\n"
         "  set_source_files_properties(synthesis/fast/note_kernel_pairs.cpp PROPERTIES "
         "COMPILE_OPTIONS -ffp-contract=off)\n")], FLAGS),
    # Earlier audits' slips, still caught.
    "fast-math-avx512": ([(LIBRARY, "set(avx512_options -mavx512f -mfma)",
                           "set(avx512_options -mavx512f -mfma -ffast-math)")], FLAGS),
    "rotations-16": ([("synthesis/fast/note_kernels.h",
                       "constexpr int32_t ROTATIONS_PER_ANCHOR = 15;",
                       "constexpr int32_t ROTATIONS_PER_ANCHOR = 16;")], PROOF),
    "no-fp-contract-off": (NO_CONTRACT_OFF, f"{PROOF}|{FLAGS}"),
    "sine-coefficient-2pi": ([("synthesis/fast/sincos_coefficients.h", "    6.283185307179412,",
                               "    6.283185307179586,")], PROOF),
    "any-near-assigned": ([(KERNEL, "anyNear |= NearNonzeroLanes<T>",
                            "anyNear = NearNonzeroLanes<T>")], "Recheck\\.",
                          ["tolvimo_recheck_tests"]),
}


def run(command, cwd, quiet=True):
    return subprocess.run(command, cwd=cwd, capture_output=quiet, text=True, check=False)


def copy_tree(source, target):
    """The tracked files as they are in the work tree; a file is written
    only when it differs from the scratch copy's, so that the scratch build
    rebuilds exactly what changed."""
    files = run(["git", "ls-files", "-z"], source).stdout.split("\0")
    for name in filter(None, files):
        path, copy = os.path.join(source, name), os.path.join(target, name)
        if not os.path.isfile(path):
            continue
        with open(path, "rb") as file:
            data = file.read()
        if os.path.isfile(copy):
            with open(copy, "rb") as file:
                if file.read() == data:
                    continue
        os.makedirs(os.path.dirname(copy), exist_ok=True)
        with open(copy, "wb") as file:
            file.write(data)
        shutil.copymode(path, copy)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", maxsplit=1)[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "slips"),
                        help="the scratch folder (a copy of the tree and its build)")
    parser.add_argument("names", nargs="*", help="slips to try (all when none)")
    args = parser.parse_args()
    names = args.names or list(SLIPS)
    source, build = os.path.join(args.build, "src"), os.path.join(args.build, "build")
    copy_tree(ROOT, source)
    env = dict(os.environ, CMAKE_CXX_COMPILER_LAUNCHER="ccache",
               CMAKE_C_COMPILER_LAUNCHER="ccache")
    configure = ["cmake", "-S", source, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                 "-DTOLVIMO_BUILD_TESTS=ON"]
    compile_ = ["cmake", "--build", build, "-j2", "--target", "dump_kernel_facts"]
    passed = []
    # The tree as it is must pass every test the slips are tried against.
    SLIPS["none"] = ([], "|".join(sorted({SLIPS[n][1] for n in names})),
                     sorted({t for n in names for more in SLIPS[n][2:] for t in more}))
    for name in ["none"] + names:
        edits, tests, *targets = SLIPS[name]
        originals = {}
        for path, old, new in edits:
            full = os.path.join(source, path)
            with open(full, encoding="utf-8") as file:
                current = file.read()
            originals.setdefault(path, current)
            if old not in current:
                print(f"{name}: no longer applies to {path}: {old.strip()[:60]!r}")
                return 2
            with open(full, "w", encoding="utf-8") as out:
                out.write(current.replace(old, new, 1))
        built = run(configure, source)
        if built.returncode == 0:
            built = subprocess.run(compile_ + [t for more in targets for t in more], cwd=source,
                                   capture_output=True, text=True, env=env, check=False)
        if built.returncode != 0:
            print(f"{name}: does not build{' (the slip needs mending)' if name != 'none' else ''}"
                  f"\n{built.stdout[-2000:]}{built.stderr[-2000:]}")
            if name == "none":
                return 2
            passed.append(name)
        else:
            tested = run(["ctest", "--test-dir", build, "-R", tests, "--output-on-failure"],
                         source)
            failed = [line.split()[3] for line in tested.stdout.splitlines()
                      if "***Failed" in line or "***Timeout" in line]
            if name == "none":
                if failed:
                    print(f"the tree itself fails {', '.join(failed)}:\n{tested.stdout[-3000:]}")
                    return 2
                print("the tree itself passes the tests the slips are tried against")
            elif failed:
                why = [line.strip() for line in tested.stdout.splitlines() if line.startswith(
                    ("NOT PROVEN", "NUMERIC FLAGS", "NOT FOUND", "MISMATCH", "COUNT"))
                    or "Failure" in line]
                print(f"{name}: caught by {', '.join(failed)}: {why[0] if why else ''}")
            else:
                print(f"{name}: NOT CAUGHT by {tests}")
                passed.append(name)
        for path, text in originals.items():
            with open(os.path.join(source, path), "w", encoding="utf-8") as out:
                out.write(text)
    if passed:
        print(f"{len(passed)} slips pass the tests: {', '.join(passed)}")
        return 1
    print(f"every one of {len(names)} slips fails a test")
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""The documentation check finds a stale figure or list however the text
around it is laid out: each snippet passes against the catalogue it was
written for and fails against one where that fact changed.

    docs_check_test.py CATALOGUE
"""
import copy
import json
import pathlib
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import docs_check  # noqa: E402


def more_voices(catalogue):
    catalogue["voices"].append(dict(catalogue["voices"][0], name="harp"))


def longer_notes(catalogue):
    catalogue["limits"]["maxNoteTextBytes"] = 1999
    catalogue["largestRequest"]["notes"] = 1999


def higher_rate(catalogue):
    catalogue["limits"]["maxSampleRate"] = 384000


def bigger_file(catalogue):
    catalogue["largestRequest"]["wavBytes"] *= 2
    catalogue["largestRequest"]["samples"] *= 2


def empty_notes_refused(catalogue):
    catalogue["emptyNotes"] = "made_up"


def new_refusal(catalogue):
    catalogue["refusals"].append({"kind": "made_up", "status": catalogue["statuses"]["failed"],
                                  "example": "Error: Made up\n"})


# The kinds of refusal the snippets were written for.
STATED_KINDS = {"none", "instrument_missing", "notes_missing", "output_missing", "unknown_instrument",
                "bad_sample_rate", "note_text_too_long", "invalid_note", "cannot_open", "cannot_write",
                "out_of_memory"}


def case(catalogue, change):
    """`catalogue` with the facts quoted below put back to what the snippets
    say, then `change` applied."""
    stated = copy.deepcopy(catalogue)
    stated["voices"] = stated["voices"][:15]
    stated["refusals"] = [r for r in stated["refusals"] if r["kind"] in STATED_KINDS]
    stated["limits"].update(maxNoteTextBytes=999, minSampleRate=8000, maxSampleRate=192000)
    stated["emptyNotes"] = "none"
    stated["largestRequest"].update(notes=999, sampleRate=192000, samples=95904000, wavBytes=191808044)
    if change:
        change(stated)
    return stated


# (file name, its text, the change the check must notice)
SNIPPETS = [
    ("python/README.md", "rendered with one of fifteen instrument\nvoices. A native", more_voices),
    ("debian/control", " and is rendered with one of fifteen instrument\n voices (piano, organ)", more_voices),
    ("include/api.h", "/* one of fifteen\n * instrument voices */", more_voices),
    ("cli/help.cpp", '"prints the 15 instrument "\n    "names\\n"', more_voices),
    ("docs/windows/README.txt", "1  not written: the note text is 1000 bytes\n       or longer", longer_notes),
    ("docs/wavinstruments.1", "the note text must be shorter\nthan \\fB1000\\fR bytes", longer_notes),
    ("web/npm/README.md", "note text of 1000 bytes or\nmore. `refusal`", longer_notes),
    ("web/site/app.js", "// a note text of at most 999\n// bytes", longer_notes),
    ("docs/python.md", "For the largest request (999 notes at\n192000 Hz, a 192 MB result)", longer_notes),
    ("docs/javascript.md", "so 334 notes written\n`C#4` are refused", longer_notes),
    ("request/notes.cpp", "// At most 999\n    // notes, so a quadratic scan", longer_notes),
    ("docs/windows/README.txt", "333  sample rate outside 8000..192000", higher_rate),
    ("cli/main.cpp", '"  1  not written: a character starts no note, the note text is too long,\\n"\n'
     '        "     the output cannot be opened or written, or memory ran out\\n"', new_refusal),
    ("docs/command-line.md", "Exit status: 0 written, 1 not written (bad note, note text too\nlong, path, "
     "write or memory), 2", new_refusal),
    ("include/api.h", "/* Not written: bad note, note text too long, unusable\n * path, "
     "I/O failure, no memory. */\n#define API_FAILED 1", new_refusal),
    ("docs/javascript.md", "empty notes give a file with no\nsamples", empty_notes_refused),
    ("bench/README.md", "999 notes at 192000 Hz, 95,904,000\nsamples, a 191.8 MB\nfile", bigger_file),
]


def failures(name, text, catalogue):
    return [what for what, good in docs_check.check_texts([(name, text)], catalogue) if not good]


def main(catalogue_file):
    catalogue = json.loads(pathlib.Path(catalogue_file).read_text(encoding="utf-8"))
    # How the pages would word a new kind, once it is given words.
    docs_check.REFUSAL_WORDING["made_up"] = (r"made up", r"made up")
    faults = []
    for name, text, change in SNIPPETS:
        if failures(name, text, case(catalogue, None)):
            faults.append(f"{name} {text!r}: fails against the facts it states: "
                          f"{failures(name, text, case(catalogue, None))}")
        if not failures(name, text, case(catalogue, change)):
            faults.append(f"{name} {text!r}: passes after {change.__name__}")
    del docs_check.REFUSAL_WORDING["made_up"]
    unworded = [what for what, good in docs_check.check_refusal_wording(
        catalogue["statuses"], case(catalogue, new_refusal)["refusals"]) if not good and "made_up" in what]
    if len(unworded) != 1:
        faults.append(f"a new kind of refusal without its words: {unworded}")
    with tempfile.TemporaryDirectory() as folder:
        root = pathlib.Path(folder)
        (root / "docs/voices").mkdir(parents=True)
        (root / "docs/voices/piano.png").write_bytes(b"")
        missing = [what for what, good in docs_check.check_pictures(root, ["piano", "harp"]) if not good]
        if missing != ["the picture of harp, docs/voices/harp.png"]:
            faults.append(f"a voice without its picture: {missing}")
    for fault in faults:
        print(fault)
    print(f"{len(SNIPPETS) + 2 - len(faults)} passed, {len(faults)} failed")
    return 1 if faults else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1]))

#!/usr/bin/env python3
"""The documentation check notices each change of a fact it guards: a set of
texts that passes against the catalogue it was written for fails once that
fact changes, or once the fact is stated where it may not be.

    docs_check_test.py CATALOGUE
"""
import copy
import json
import pathlib
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import docs_check  # noqa: E402

# The kinds of refusal the texts below were written for.
STATED_KINDS = {"none", "instrument_missing", "notes_missing", "output_missing", "unknown_instrument",
                "bad_sample_rate", "note_text_too_long", "invalid_note", "cannot_open", "cannot_write",
                "out_of_memory"}

LIST = "a character starts no note, the note text is too long, the output cannot be opened or written"
# Texts that state every guarded fact where it may stand, as of the facts
# case() puts back.
TEXTS = {
    **{site: "with one of fifteen\ninstrument voices" for site in docs_check.VOICE_COUNT_SITES},
    "docs/file-contract.md": "| Sample rate | 8000 to 192000 Hz |\n| Note text | shorter than 1000 bytes |\n"
                             "| Output path | shorter than 200 bytes |\n| Instrument name | shorter than 56 "
                             "bytes |\n| Largest request | 999 notes at 192000 Hz |",
    "cli/main.cpp": f'"  1  not written: {LIST},\\n"\n    "     or memory ran out\\n"\n    "  2  wrong arguments',
    "docs/wavinstruments.1": f"from 8000 to\n192000. Shorter than \\fB200\\fR bytes; notes shorter than 1000 bytes.\n"
                             f".B 1\nNot written: {LIST}, or memory ran out.\n.TP\n.B 2\nWrong arguments",
    "include/TolvimoWAVInstruments.h": f"/* outside 8000..192000 */\n/* Not written: {LIST}, memory ran out, or a\n"
                                       " * pointer is null. */\n#define TOLVIMO_STATUS_FAILED 1",
    "docs/windows/README.txt": "  333  sample rate outside 8000..192000\nmust be shorter than 200 bytes.",
    "bench/README.md": "Measured with the limits `maxNoteTextBytes=999`, `maxSampleRate=192000`. A line\n"
                       'starting "Measured before" says which has changed since.',
    "docs/javascript.md": "the voices' names; the note text may be at most `LIMITS.maxNoteTextBytes` bytes",
}


def case(catalogue):
    """`catalogue` with the facts the texts state put back to theirs."""
    stated = copy.deepcopy(catalogue)
    stated["voices"] = stated["voices"][:15]
    stated["refusals"] = [r for r in stated["refusals"] if r["kind"] in STATED_KINDS]
    stated["limits"].update(maxNoteTextBytes=999, maxOutputPathBytes=199, maxInstrumentNameBytes=55,
                            minSampleRate=8000, maxSampleRate=192000)
    stated["largestRequest"].update(notes=999, sampleRate=192000, samples=95904000, wavBytes=191808044)
    return stated


def more_voices(catalogue, texts):
    catalogue["voices"].append(dict(catalogue["voices"][0], name="harp"))


def longer_notes(catalogue, texts):
    catalogue["limits"]["maxNoteTextBytes"] = 3999


def longer_notes_marked(catalogue, texts):
    longer_notes(catalogue, texts)
    for name in ("docs/file-contract.md", "docs/wavinstruments.1"):
        texts[name] = texts[name].replace("1000 bytes", "4000 bytes")
    texts["bench/README.md"] += "\nMeasured before the note text's limit was raised."


def higher_rate(catalogue, texts):
    catalogue["limits"]["maxSampleRate"] = 384000


def new_refusal(catalogue, texts):
    catalogue["refusals"].append({"kind": "made_up", "status": catalogue["statuses"]["failed"],
                                  "example": "Error: Made up\n"})


def restated(name, text):
    def change(catalogue, texts):
        texts[name] = text
    change.__name__ = f"restated in {name}: {text!r}"
    return change


def list_without(name, words):
    def change(catalogue, texts):
        texts[name] = texts[name].replace(words, "")
    change.__name__ = f"{name}'s list without {words!r}"
    return change


# (change, a word of the failure it must give; None: it must still pass)
CHANGES = [
    (more_voices, "sixteen"),
    (restated("docs/python.md", "VOICES: the fifteen\nnames"), "docs/python.md states the number of voices"),
    (restated("docs/windows.md", "the path must be shorter than\n200 bytes"), "docs/windows.md states"),
    (restated("web/npm/README.md", "sample rate outside 8000..192000"), "web/npm/README.md states"),
    (restated("docs/performance.md", "(999 notes at 192000 Hz)"), "docs/performance.md states"),
    (longer_notes, "docs/wavinstruments.1 states the note text's limit"),
    (longer_notes, "bench/README.md: measured with maxNoteTextBytes=999"),
    (longer_notes_marked, None),
    (higher_rate, "docs/windows/README.txt states the sample rates"),
    (new_refusal, "the words for made_up"),
    (list_without("cli/main.cpp", "starts no note"), "cli/main.cpp: status 1's list names invalid_note"),
    (list_without("include/TolvimoWAVInstruments.h", "null"), "names notes_missing"),
    (restated("bench/README.md", "Results of 2026-12-07."), "says which limits it was measured with"),
]


def failures(texts, catalogue):
    return [what for what, good in docs_check.check_texts(list(texts.items()), catalogue) if not good]


def limits_table_faults(root, catalogue):
    return [what for what, good in docs_check.check_limits_table(root, catalogue) if not good]


def main(catalogue_file):
    catalogue = json.loads(pathlib.Path(catalogue_file).read_text(encoding="utf-8"))
    faults = [f"the texts fail against the facts they state: {failures(TEXTS, case(catalogue))}"]
    if not failures(TEXTS, case(catalogue)):
        faults.clear()
    for change, failure in CHANGES:
        changed, texts = case(catalogue), dict(TEXTS)
        change(changed, texts)
        found = failures(texts, changed)
        if failure is None and found or failure and not any(failure in what for what in found):
            faults.append(f"after {change.__name__}: wanted {failure!r}, got {found}")
    with tempfile.TemporaryDirectory() as folder:
        root = pathlib.Path(folder)
        (root / "docs/voices").mkdir(parents=True)
        (root / "docs/voices/piano.png").write_bytes(b"")
        missing = [what for what, good in docs_check.check_pictures(root, ["piano", "harp"]) if not good]
        if missing != ["the picture of harp, docs/voices/harp.png"]:
            faults.append(f"a voice without its picture: {missing}")
        # The limits' table: each row, stale after its limit changes.
        table = "\n".join(f"| {label} | {value} |" for label, value in docs_check.limit_rows(case(catalogue)))
        (root / "docs/file-contract.md").write_text(f"# The contract\n\n## Limits\n\n{table}\n\n## Next\n")
        if limits_table_faults(root, case(catalogue)):
            faults.append(f"the limits' table fails as written: {limits_table_faults(root, case(catalogue))}")
        for change in (longer_notes, higher_rate):
            changed = case(catalogue)
            change(changed, {})
            if not limits_table_faults(root, changed):
                faults.append(f"the limits' table passes after {change.__name__}")
    for fault in faults:
        print(fault)
    print(f"{len(CHANGES) + 4 - len(faults)} passed, {len(faults)} failed")
    return 1 if faults else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1]))

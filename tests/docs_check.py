#!/usr/bin/env python3
"""Checks every text written for people against the library's catalogue
(catalogue.json, printed by emit_catalogue from the C++ tables): the voice
lists, counts and pictures, the status table's codes and lines, the lists
of the refusals, the limits and the largest request's figures wherever a page, a package text, a
docstring or a comment quotes them. Text is read as prose: comment markers,
manual-page markup and line breaks are taken out and whitespace collapsed,
so a phrase wrapped over two lines is still found. Prints one line per
fault, then 'N passed, N failed'.

    docs_check.py CATALOGUE SOURCE_DIR
"""
import json
import math
import pathlib
import re
import sys

NUMBER_WORDS = ("zero one two three four five six seven eight nine ten eleven twelve thirteen "
                "fourteen fifteen sixteen seventeen eighteen nineteen twenty").split()

# Where text for people is: every file of these kinds in the tree, but the
# tests' own (they take their figures from the catalogue), builds, measured
# results and the proof's working files.
PROSE_SUFFIXES = {".md", ".txt", ".1", ".h", ".c", ".cpp", ".py", ".pyi", ".js", ".mjs", ".ts",
                  ".in", ".html", ".toml", ".cmake"}
PROSE_FILES = {"debian/control", "debian/copyright"}
SKIPPED_FOLDERS = {".git", "build", "node_modules", "venv", "tests", "test", "corpus", "results",
                   "proof", "__pycache__", "dist", ".ci"}

COUNT = re.compile(r"\b(\w+) (?:synthetic |additive-synthesis )?(?:instrument )?"
                   r"(voices|instruments|names|instrument names)\b", re.IGNORECASE)
# A rate range as the pages write it: "from 8000 to 192000 Hz", "between ...
# and ... Hz", "outside 8000..192000".
RATE_RANGE = re.compile(r"\b(?:from|between|is|outside|run from) (\d+)(?: (?:to|and) |\.\.)(\d+)\b")
# A length limit: "shorter than 1000 bytes", "200 bytes or longer", "of 56
# bytes or more", "at most 999 bytes".
SHORTER = re.compile(r"shorter than (\d+) bytes|(\d+) bytes or (?:longer|more)|at most (\d+) bytes")
LIMIT_WORDS = {"path": ("path", "output"), "note": ("note",), "name": ("name", "instrument")}
# The largest request's figures: "999 notes at 192000 Hz", "at most 999
# notes", and where the text just before speaks of it ("the largest
# request", those notes at the top rate) "95,904,000 samples" and "a 192 MB
# file" (or result, or of samples, or "(192 MB)"); and the fewest three-byte
# notes that are too long ("334 notes written as `C#4`").
NOTES_AT = re.compile(r"\b(\d+) notes at (\d+) Hz")
MOST_NOTES = re.compile(r"\b(?:at most|up to) (\d+) notes\b", re.IGNORECASE)
SAMPLES = re.compile(r"\b(\d{1,3}(?:,\d{3}){2,}) samples")
MEGABYTES = re.compile(r"\((\d+(?:\.\d+)?) (MB|MiB)\)|\b(\d+(?:\.\d+)?) (MB|MiB) (?:file|result|of samples)\b")
# A file with no samples: what the pages say empty note text gives.
NO_SAMPLES = re.compile(r"\bno samples\b", re.IGNORECASE)
THREE_BYTE_NOTES = re.compile(r"\b(\d+) notes (?:written )?(?:as )?`?C#4`?")


def prose(name, text):
    """The text as a person reads it, on one line."""
    if name.endswith((".h", ".c", ".cpp", ".js", ".mjs", ".ts", ".in")):
        # Adjacent string literals, joined by the compiler or by '+'.
        text = re.sub(r'"\s*\+?\s*\n\s*\+?\s*"', "", text)
    if name.endswith(".1"):
        text = re.sub(r"^\.[A-Z]{1,2}\b ?", "", text, flags=re.MULTILINE)
        text = re.sub(r'\\f[BIRP]|\\&|\\c|^\.\\".*$', "", text, flags=re.MULTILINE)
        text = text.replace("\\-", "-").replace("\\(aq", "'").replace("\\(em", "-")
    # Comment markers and the control file's continuation and blank-line marks.
    text = re.sub(r"^[ \t]*(?://+|/\*+|\*+/?|#+(?![#\w])|\.$)?", "", text, flags=re.MULTILINE)
    text = text.replace("*/", " ")
    return re.sub(r"\s+", " ", text)


def prose_files(root):
    for path in sorted(root.rglob("*")):
        relative = path.relative_to(root)
        folders = relative.parts[:-1]
        # Hidden folders and a package build's own (obj-*, debian/*/) are
        # not the sources.
        if (set(folders) & SKIPPED_FOLDERS or any(f.startswith((".", "obj-")) for f in folders)
                or folders[:1] == ("debian",) and len(folders) > 1 or not path.is_file()):
            continue
        if path.suffix in PROSE_SUFFIXES or relative.as_posix() in PROSE_FILES:
            yield relative.as_posix(), path.read_text(encoding="utf-8", errors="replace")


def check_voice_lists(root, voices):
    """Each list of the voices names every one, in the library's order, and
    each has its picture."""
    names = [v["name"] for v in voices]
    readme = (root / "README.md").read_text(encoding="utf-8")
    table = [(m[1], m[2], m[3], m[4]) for m in
             re.finditer(r"^\| `(\w+)` \| (\d+)[^|]*\| ([^|]*)\|[^|]*\| ([^|]*)\|", readme, re.MULTILINE)]
    yield "README.md's voice table", [name for name, _, _, _ in table] == names
    for (name, harmonics, vibrato, picture), voice in zip(table, voices):
        wanted = ("" if voice["vibrato"] is None else
                  f'{voice["vibrato"]["depth"] * 100:.3g} % at {voice["vibrato"]["rate"]:g} Hz')
        yield (f"README.md's row for {name}: harmonics and vibrato",
               int(harmonics) == voice["harmonics"] and vibrato.strip() == wanted)
        yield (f"README.md's row for {name}: its picture docs/voices/{name}.png",
               picture.strip() == f"![{name}](docs/voices/{name}.png)")
    yield from check_pictures(root, names)

    manual = (root / "docs/wavinstruments.1").read_text(encoding="utf-8")
    section = manual.split(".SH INSTRUMENTS", 1)[-1].split("\n.SH ", 1)[0]
    listed = re.findall(r"^\.B (\S+)$", section, re.MULTILINE)
    yield "the manual page's INSTRUMENTS", listed == names

    npm = prose("README.md", (root / "web/npm/README.md").read_text(encoding="utf-8"))
    sentence = re.search(r"voices: ([a-z, ]+?)\.", npm)
    listed = re.split(r",\s*|\s+and\s+", sentence[1]) if sentence else []
    yield "web/npm/README.md's list of voices", listed == names


def check_pictures(root, names):
    for name in names:
        yield f"the picture of {name}, docs/voices/{name}.png", (root / "docs/voices" / f"{name}.png").is_file()


def check_counts(name, text, count):
    for match in COUNT.finditer(text):
        word = match[1].lower()
        number = int(word) if word.isdigit() else (
            NUMBER_WORDS.index(word) if word in NUMBER_WORDS else None)
        if number is not None and number > 2:
            yield f"{name}: '{match[0]}'", number == count


def check_limits(name, text, limits):
    capacities = {"path": limits["maxOutputPathBytes"] + 1,
                  "note": limits["maxNoteTextBytes"] + 1,
                  "name": limits["maxInstrumentNameBytes"] + 1}
    for match in RATE_RANGE.finditer(text):
        rates = (int(match[1]), int(match[2]))
        # Only a range that starts or ends at one of the limits is the
        # limits' (a page may give any other span of rates).
        if {limits["minSampleRate"], limits["maxSampleRate"]} & set(rates) or rates[0] > 1000:
            yield (f"{name}: '{match[0]}'",
                   rates == (limits["minSampleRate"], limits["maxSampleRate"]))
    for match in SHORTER.finditer(text):
        before = text[max(0, match.start() - 120):match.start()].lower()
        # The limit meant is that of the argument named last before it.
        named = {key: max(before.rfind(word) for word in words)
                 for key, words in LIMIT_WORDS.items()}
        which = max(named, key=named.__getitem__)
        if named[which] < 0:
            continue
        quoted = int(match[1] or match[2]) if match[3] is None else int(match[3]) + 1
        yield f"{name}: '{match[0]}' (the {which} limit)", quoted == capacities[which]


def check_largest(name, text, limits, largest):
    def of_largest(match):
        before = text[max(0, match.start() - 100):match.start()]
        return "largest" in before or re.search(rf"\d+ notes at {largest['sampleRate']} Hz", before)

    for match in NOTES_AT.finditer(text):
        if int(match[2]) == largest["sampleRate"]:
            yield f"{name}: '{match[0]}' (the most notes)", int(match[1]) == largest["notes"]
    for match in MOST_NOTES.finditer(text):
        yield f"{name}: '{match[0]}' (the most notes)", int(match[1]) == largest["notes"]
    for match in filter(of_largest, SAMPLES.finditer(text)):
        yield f"{name}: '{match[0]}' (the most samples)", int(match[1].replace(",", "")) == largest["samples"]
    for match in filter(of_largest, MEGABYTES.finditer(text)):
        figure, unit = (match[1], match[2]) if match[1] else (match[3], match[4])
        size = largest["wavBytes"] / (1e6 if unit == "MB" else 2**20)
        yield (f"{name}: '{match[0]}' (the largest file)",
               float(figure) == round(size, len(figure.partition(".")[2])))
    for match in THREE_BYTE_NOTES.finditer(text):
        yield (f"{name}: '{match[0]}' (the fewest three-byte notes too long)",
               int(match[1]) == math.ceil((limits["maxNoteTextBytes"] + 1) / 3))


# How the pages word each kind of refusal of status 1: in a list of the
# reasons a file was not written, and in a short summary of them ("1 not
# written (bad note, ...)"); the one place the documentation's wording of a
# kind is known. A kind of status 1 missing here fails the check until its
# words are added; a list or summary missing a kind's words fails it too. A
# summary leaves out the null pointers, which only a C caller's slip meets.
REFUSAL_WORDING = {
    "notes_missing": (r"null pointer", None),
    "output_missing": (r"null pointer", None),
    "note_text_too_long": (r"too long|\d+ bytes or (?:longer|more)", r"too long"),
    "invalid_note": (r"starts no note", r"bad note"),
    "cannot_open": (r"cannot be opened", r"path"),
    "cannot_write": (r"(?:cannot be|opened or) written", r"write|written|I/O"),
    "out_of_memory": (r"memory", r"memory"),
    "sink_missing": (r"null pointer", None),
    "unknown_format": (r"format", None),
}
# Kinds only a C caller meets (a null pointer), and kinds only a request
# for a file meets (none renders into memory, as the web package does).
C_ONLY = {"instrument_missing", "notes_missing", "output_missing"}
# Kinds only the Tolvimo functions meet (a null sink, an unknown format):
# the pages about WAVInstruments and the front ends leave them out.
API_ONLY = {"sink_missing", "unknown_format"}
C_TEXTS = ("include/", "docs/windows/", "docs/file-contract.md")
FILE_ONLY = {"output_missing", "cannot_open", "cannot_write"}
MEMORY_TEXTS = ("web/",)
# A list starts with the bad note and runs to its sentence's end, its
# parenthesis' or the next status code.
REFUSAL_LIST = re.compile(r"a character (?:that )?starts no note(.{0,300}?)(?:\.(?: |$)|\)|\s\d{1,3}\s|$)")
# A summary: the parenthesis after "1 not written", or the comment over the
# header's status 1.
REFUSAL_SUMMARY = re.compile(r"\b1:? not written:? \([^)]{0,200}\)|Not written: [^#]{0,200}#define \w+_FAILED 1\b")


def check_refusal_wording(statuses, refusals):
    for refusal in refusals:
        if refusal["status"] == statuses["failed"]:
            yield (f"tests/docs_check.py's REFUSAL_WORDING: how the pages word {refusal['kind']}",
                   refusal["kind"] in REFUSAL_WORDING)


def check_refusal_lists(name, text, statuses, refusals):
    kinds = [r["kind"] for r in refusals if r["status"] == statuses["failed"] and r["kind"] in REFUSAL_WORDING
             and r["kind"] not in API_ONLY]
    if name.startswith(MEMORY_TEXTS):
        kinds = [kind for kind in kinds if kind not in FILE_ONLY]
    listed = kinds if name.startswith(C_TEXTS) else [kind for kind in kinds if kind not in C_ONLY]
    for match in REFUSAL_LIST.finditer(text):
        for kind in listed:
            yield (f"{name}: '{match[0][:60]}...' lists {kind}",
                   re.search(REFUSAL_WORDING[kind][0], match[0], re.IGNORECASE) is not None)
    for match in REFUSAL_SUMMARY.finditer(text):
        for kind in kinds:
            if REFUSAL_WORDING[kind][1]:
                yield (f"{name}: '{match[0][:70]}' sums up {kind}",
                       re.search(REFUSAL_WORDING[kind][1], match[0], re.IGNORECASE) is not None)


def refusal_reach(texts):
    """How many lists and summaries of the refusals `texts` hold: a rewording
    that hides them all from the patterns above must fail, not pass unread."""
    prosed = [prose(name, raw) for name, raw in texts]
    return (sum(len(REFUSAL_LIST.findall(text)) for text in prosed),
            sum(len(REFUSAL_SUMMARY.findall(text)) for text in prosed))


def check_page_words(root, refusals):
    """The page words each kind it can meet in its own case of statusWords."""
    page = (root / "web/site/app.js").read_text(encoding="utf-8")
    body = page.split("function statusWords", 1)[-1].split("\n}\n", 1)[0]
    cases = set(re.findall(r'case "(\w+)":', body))
    for refusal in refusals:
        if refusal["kind"] not in C_ONLY | FILE_ONLY | API_ONLY:
            yield f"web/site/app.js: statusWords's words for {refusal['kind']}", refusal["kind"] in cases


def line_pattern(template):
    """The documented form of a line as a pattern: %s, %d, X and ... stand for
    what the call fills in."""
    holes = {"%s": ".*", "%d": r"-?\d+", "...": ".*", "X": ".+"}
    pieces = re.split(r"(%s|%d|\.\.\.|X$)", template)
    pattern = "".join(holes[piece] if piece in holes else re.escape(piece) for piece in pieces)
    return re.compile(pattern + r"\Z")


def check_status_table(root, statuses, refusals):
    """The status table in docs/file-contract.md has exactly the library's
    codes, and each refusal's line matches a row of its code, and each row
    some refusal's."""
    page = (root / "docs/file-contract.md").read_text(encoding="utf-8")
    rows = [(int(m[1]), m[2]) for m in
            re.finditer(r"^\| (\d+) \| (?:`([^`]*)`|[^|]*) \|", page, re.MULTILINE)]
    yield "docs/file-contract.md's status codes", {code for code, _ in rows} == set(statuses.values())
    documented = [(code, line_pattern(line)) for code, line in rows if line]
    for refusal in refusals:
        if refusal["status"] == statuses["created"]:
            continue
        line = refusal["example"].rstrip("\n")
        yield (f"docs/file-contract.md's row for {refusal['kind']} ({line})",
               any(code == refusal["status"] and pattern.match(line)
                   for code, pattern in documented))
    for code, pattern in documented:
        yield (f"docs/file-contract.md's row {code} {pattern.pattern}",
               any(code == r["status"] and pattern.match(r["example"].rstrip("\n"))
                   for r in refusals))


def check_texts(texts, catalogue):
    """Every figure quoted in `texts`, (name, raw text) pairs."""
    for name, raw in texts:
        text = prose(name, raw)
        yield from check_counts(name, text, len(catalogue["voices"]))
        yield from check_limits(name, text, catalogue["limits"])
        yield from check_largest(name, text, catalogue["limits"], catalogue["largestRequest"])
        yield from check_refusal_lists(name, text, catalogue["statuses"], catalogue["refusals"])
        for match in NO_SAMPLES.finditer(text):
            yield (f"{name}: '{text[max(0, match.start() - 40):match.end()]}' (empty notes are written)",
                   catalogue["emptyNotes"] == "none")


def main(catalogue_file, source):
    catalogue = json.loads(pathlib.Path(catalogue_file).read_text(encoding="utf-8"))
    root = pathlib.Path(source)
    texts = list(prose_files(root))
    lists, summaries = refusal_reach(texts)
    results = [*check_voice_lists(root, catalogue["voices"]),
               *check_texts(texts, catalogue),
               ("lists of the refusals of status 1 found", lists > 0),
               ("summaries of the refusals of status 1 found", summaries > 0),
               *check_status_table(root, catalogue["statuses"], catalogue["refusals"]),
               *check_refusal_wording(catalogue["statuses"], catalogue["refusals"]),
               *check_page_words(root, catalogue["refusals"])]
    failed = [what for what, good in results if not good]
    for what in failed:
        print(f"does not match the library's catalogue: {what}")
    print(f"{len(results) - len(failed)} passed, {len(failed)} failed "
          f"({len(texts)} files, {lists} lists and {summaries} summaries of the refusals read)")
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))

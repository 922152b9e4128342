#!/usr/bin/env python3
"""Checks the documentation against the library's catalogue (catalogue.json,
printed by emit_catalogue from the C++ tables). Each fact is stated once, in
the table or list a reader looks it up in, and the rest of the text links
there; this checks those tables and lists, and that the few files allowed to
repeat a figure state the current one and no other file states it:

- the voices' table in README.md, and the lists of the names in the manual
  page and the npm package's README: every voice, in the library's order,
  with its harmonics, vibrato and picture;
- the limits' table in docs/file-contract.md;
- the status table in docs/file-contract.md: each refusal's line under its
  code, and the list of what status 1 means where it is repeated;
- the playground's words for each kind of refusal;
- measured results (bench/README.md), which no check rewrites: they state
  the limits they were measured with, and once a limit has changed, that
  they were measured before it.

Text is read as prose: comment markers, manual-page markup and line breaks
are taken out and whitespace collapsed. Prints one line per fault, then
'N passed, N failed'.

    docs_check.py CATALOGUE SOURCE_DIR
"""
import json
import pathlib
import re
import sys

NUMBER_WORDS = ("zero one two three four five six seven eight nine ten eleven twelve thirteen "
                "fourteen fifteen sixteen seventeen eighteen nineteen twenty twenty-one twenty-two "
                "twenty-three twenty-four twenty-five").split()

# Where text for people is: every file of these kinds in the tree, but the
# tests' own (they take their figures from the catalogue), builds, the
# proof's working files and the files generated from the catalogue.
PROSE_SUFFIXES = {".md", ".txt", ".1", ".h", ".c", ".cpp", ".py", ".pyi", ".js", ".mjs", ".ts",
                  ".in", ".html", ".toml", ".cmake"}
PROSE_FILES = {"debian/control", "debian/copyright"}
SKIPPED_FOLDERS = {".git", "build", "node_modules", "venv", "tests", "test", "corpus", "results",
                   "proof", "__pycache__", "dist", ".ci"}
GENERATED = {"python/src/tolvimo_wav/_generated.py"}

# Measured results: figures of the commit they were measured at.
MEASURED = ("bench/README.md",)

# The files that may state the number of voices: the package descriptions
# (Debian, Python and npm, with the pages the registries show) and the
# README's first paragraph.
VOICE_COUNT_SITES = ("debian/control", "python/pyproject.toml", "python/README.md",
                     "web/npm/package.json.in", "web/npm/README.md", "README.md")
# The files that state a limit: the limits' table (with the status table's
# lines, the library's own words), and the texts that travel alone: the
# public header, the manual page and the Windows package's README, each for
# the limits it names.
CONTRACT, HEADER, MANUAL = "docs/file-contract.md", "include/TolvimoWAVInstruments.h", "docs/wavinstruments.1"
WINDOWS = "docs/windows/README.txt"

# What status 1 means, where it is listed: from the first words to the last,
# in the program's help, its manual page and the public header. Each kind of
# status 1 has its words there; the null pointers only a C caller meets.
STATUS_1_LISTS = {
    "cli/main.cpp": ("1 not written:", "2 wrong arguments"),
    "docs/wavinstruments.1": ("1 Not written:", "2 Wrong arguments"),
    "include/TolvimoWAVInstruments.h": ("Not written:", "#define TOLVIMO_STATUS_FAILED"),
}
STATUS_1_WORDS = {
    "invalid_note": "starts no note",
    "note_text_too_long": "too long",
    "cannot_open": "opened",
    "cannot_write": "written",
    "out_of_memory": "memory",
    "notes_missing": "null",
    "output_missing": "null",
    "sink_missing": "null",
    "unknown_format": "format",
}
C_ONLY = {"instrument_missing", "notes_missing", "output_missing", "sink_missing",
          "unknown_format"}
C_TEXTS = ("include/",)
# Kinds only a request for a file meets (none renders into memory, as the
# web page does).
FILE_ONLY = {"output_missing", "cannot_open", "cannot_write"}


def prose(name, text):
    """The text as a person reads it, on one line."""
    if name.endswith((".h", ".c", ".cpp", ".js", ".mjs", ".ts", ".in")):
        # Adjacent string literals, joined by the compiler or by '+'.
        text = re.sub(r'"\s*\+?\s*\n\s*\+?\s*"', "", text)
        text = text.replace("\\n", " ")
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
                or folders[:1] == ("debian",) and len(folders) > 1 or not path.is_file()
                or relative.as_posix() in GENERATED):
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


def limit_rows(catalogue):
    """The limits' table as docs/file-contract.md must have it: (first cell,
    second cell) per row."""
    limits, largest = catalogue["limits"], catalogue["largestRequest"]
    empty = "a file with no samples" if catalogue["emptyNotes"] == "none" else "refused"
    return [
        ("Sample rate", f"{limits['minSampleRate']} to {limits['maxSampleRate']} Hz"),
        ("Instrument name", f"shorter than {limits['maxInstrumentNameBytes'] + 1} bytes"),
        ("Note text", f"shorter than {limits['maxNoteTextBytes'] + 1} bytes"),
        ("Output path", f"shorter than {limits['maxOutputPathBytes'] + 1} bytes"),
        ("Each note", f"{limits['noteSeconds']:g} s"),
        ("Empty note text", empty),
        ("Largest request", f"{largest['notes']} notes at {largest['sampleRate']} Hz: "
                            f"{largest['samples']:,} samples, {largest['wavBytes']:,} bytes"),
    ]


def check_limits_table(root, catalogue):
    page = (root / "docs/file-contract.md").read_text(encoding="utf-8")
    section = page.split("\n## Limits\n", 1)[-1].split("\n## ", 1)[0]
    rows = dict(re.findall(r"^\| ([^|`]+?) \| ([^|]+?) \|", section, re.MULTILINE))
    for label, value in limit_rows(catalogue):
        yield f"docs/file-contract.md's limits: {label} | {value}", rows.get(label) == value


def figures(catalogue):
    """Each figure that more than one file states: its wordings, as literal
    text, and the files that state it, each of which must."""
    limits, largest = catalogue["limits"], catalogue["largestRequest"]
    low, high = limits["minSampleRate"], limits["maxSampleRate"]
    return [
        ("the number of voices", [NUMBER_WORDS[len(catalogue["voices"])]], VOICE_COUNT_SITES),
        ("the sample rates", [f"{low} to {high}", f"{low}..{high}", f"{low} and {high}"],
         (CONTRACT, HEADER, MANUAL, WINDOWS)),
        ("the note text's limit",
         [f"{limits['maxNoteTextBytes'] + 1} bytes", f"{limits['maxNoteTextBytes']} bytes"],
         (CONTRACT, MANUAL)),
        ("the output path's limit",
         [f"{limits['maxOutputPathBytes'] + 1} bytes", f"{limits['maxOutputPathBytes']} bytes"],
         (CONTRACT, MANUAL, WINDOWS)),
        ("the instrument name's limit",
         [f"{limits['maxInstrumentNameBytes'] + 1} bytes", f"{limits['maxInstrumentNameBytes']} bytes"],
         (CONTRACT,)),
        ("the largest request", [f"{largest['notes']} notes", f"{largest['samples']:,} samples"],
         (CONTRACT,)),
    ]


def states(text, wordings):
    return any(re.search(rf"(?<![\w.,]){re.escape(w)}(?![\w])", text, re.IGNORECASE)
               for w in wordings)


def check_figures(texts, catalogue):
    """A figure stands only in the files named for it, and each of them
    states it as it is now."""
    for fact, wordings, sites in figures(catalogue):
        stated = {name for name, text in texts if states(text, wordings)}
        for name in sorted(stated - set(sites) - set(MEASURED)):
            yield f"{name} states {fact} ({' or '.join(wordings)}): link to its table instead", False
        for site in sites:
            yield f"{site} states {fact} as {' or '.join(wordings)}", site in stated


def check_status_1_lists(texts, catalogue):
    """Where the meaning of status 1 is listed, each kind of it has its
    words; a new kind fails here until it has them."""
    failed = catalogue["statuses"]["failed"]
    kinds = [r["kind"] for r in catalogue["refusals"] if r["status"] == failed]
    for kind in kinds:
        yield (f"tests/docs_check.py's STATUS_1_WORDS: the words for {kind}",
               kind in STATUS_1_WORDS)
    found = dict(texts)
    for name, (first, last) in STATUS_1_LISTS.items():
        text = found.get(name, "")
        start = text.find(first)
        listed = text[start:text.find(last, start + len(first))] if start >= 0 else ""
        yield f"{name}: the list of what status 1 means, from '{first}' to '{last}'", bool(listed)
        for kind in kinds:
            if kind in STATUS_1_WORDS and (kind not in C_ONLY or name.startswith(C_TEXTS)):
                yield (f"{name}: status 1's list names {kind} ('{STATUS_1_WORDS[kind]}')",
                       STATUS_1_WORDS[kind] in listed.lower())


def check_page_words(root, refusals):
    """The page words each kind it can meet in its own case of statusWords."""
    page = (root / "web/site/app.js").read_text(encoding="utf-8")
    body = page.split("function statusWords", 1)[-1].split("\n}\n", 1)[0]
    cases = set(re.findall(r'case "(\w+)":', body))
    for refusal in refusals:
        if refusal["kind"] not in C_ONLY | FILE_ONLY:
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


# A measured file's stamp: "Measured with the limits maxNoteTextBytes=999
# maxSampleRate=192000 ..." and, once a limit has changed, a line starting
# "Measured before" that says the results predate it.
STAMP = re.compile(r"Measured with the limits((?: `?\w+=\d+`?,?)+)")


def check_measured(name, raw, limits):
    stamp = STAMP.search(prose(name, raw))
    yield f"{name}: says which limits it was measured with ('Measured with the limits ...')", bool(stamp)
    if not stamp:
        return
    measured = dict(re.findall(r"(\w+)=(\d+)", stamp[1]))
    changed = [key for key, value in measured.items() if str(limits.get(key)) != value]
    yield (f"{name}: measured with {', '.join(f'{k}={measured[k]}' for k in changed)}, which "
           f"changed since: say its results were measured before (a line 'Measured before ...'), "
           f"and leave the figures", not changed or re.search(r"^Measured before\b", raw, re.MULTILINE))


def check_texts(texts, catalogue):
    """The figures and lists of `texts`, (name, raw text) pairs."""
    prosed = [(name, prose(name, raw)) for name, raw in texts]
    yield from check_figures(prosed, catalogue)
    yield from check_status_1_lists(prosed, catalogue)
    for name, raw in texts:
        if name in MEASURED:
            yield from check_measured(name, raw, catalogue["limits"])


def main(catalogue_file, source):
    catalogue = json.loads(pathlib.Path(catalogue_file).read_text(encoding="utf-8"))
    root = pathlib.Path(source)
    texts = list(prose_files(root))
    results = [*check_voice_lists(root, catalogue["voices"]),
               *check_limits_table(root, catalogue),
               *check_texts(texts, catalogue),
               *check_status_table(root, catalogue["statuses"], catalogue["refusals"]),
               *check_page_words(root, catalogue["refusals"])]
    failed = [what for what, good in results if not good]
    for what in failed:
        print(f"does not match the library's catalogue: {what}")
    print(f"{len(results) - len(failed)} passed, {len(failed)} failed ({len(texts)} files read)")
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))

#!/usr/bin/env python3
"""Checks the documentation against the library's catalogue (catalogue.json,
printed by emit_catalogue from the C++ tables): the voice lists and counts,
the status table's codes and lines, and the limits the pages quote. Prints one line per
fault, then 'N passed, N failed'.

    docs_check.py CATALOGUE SOURCE_DIR
"""
import json
import pathlib
import re
import sys

NUMBER_WORDS = ("zero one two three four five six seven eight nine ten eleven twelve thirteen "
                "fourteen fifteen sixteen seventeen eighteen nineteen twenty").split()

# Pages and package texts that count the voices in words or digits.
COUNTED = ["README.md", "docs/*.md", "docs/wavinstruments.1", "docs/windows/README.txt",
           "debian/control", "web/npm/README.md", "web/npm/package.json.in",
           "python/README.md", "python/pyproject.toml", "python/src/tolvimo_wav/__init__.py",
           "include/TolvimoWAVInstruments.h", "synthesis/preset_table.h"]
COUNT = re.compile(r"\b(\w+) (?:synthetic |additive-synthesis )?(?:instrument )?"
                   r"(voices|instruments|names|instrument names)\b", re.IGNORECASE)
# A rate range as the pages write it: "from 8000 to 192000 Hz", "between ... and ... Hz".
RATE_RANGE = re.compile(r"\b(?:from|between|is|outside|run from) (\d+) (?:to|and) (\d+) Hz")
# A length limit: "shorter than 1000 bytes", "200 bytes or longer", "of 56 bytes or more".
SHORTER = re.compile(r"shorter than (\d+) bytes|(\d+) bytes or (?:longer|more)")


LIMIT_WORDS = {"path": ("path", "output"), "note": ("note",), "name": ("name", "instrument")}


def files(root, patterns):
    for pattern in patterns:
        yield from sorted(root.glob(pattern))


def check_voice_lists(root, voices):
    """Each list of the voices names every one, in the library's order."""
    readme = (root / "README.md").read_text(encoding="utf-8")
    table = [(m[1], m[2], m[3]) for m in
             re.finditer(r"^\| `(\w+)` \| (\d+)[^|]*\| ([^|]*)\|", readme, re.MULTILINE)]
    yield "README.md's voice table", [name for name, _, _ in table] == [v["name"] for v in voices]
    for (name, harmonics, vibrato), voice in zip(table, voices):
        wanted = ("" if voice["vibrato"] is None else
                  f'{voice["vibrato"]["depth"] * 100:.3g} % at {voice["vibrato"]["rate"]:g} Hz')
        yield (f"README.md's row for {name}: harmonics and vibrato",
               int(harmonics) == voice["harmonics"] and vibrato.strip() == wanted)

    manual = (root / "docs/wavinstruments.1").read_text(encoding="utf-8")
    section = manual.split(".SH INSTRUMENTS", 1)[-1].split("\n.SH ", 1)[0]
    listed = re.findall(r"^\.B (\S+)$", section, re.MULTILINE)
    yield "the manual page's INSTRUMENTS", listed == [v["name"] for v in voices]

    npm = (root / "web/npm/README.md").read_text(encoding="utf-8")
    sentence = re.search(r"voices: ([a-z, \n]+?)\.", npm)
    names = re.split(r",\s*|\s+and\s+", sentence[1].replace("\n", " ")) if sentence else []
    yield "web/npm/README.md's list of voices", names == [v["name"] for v in voices]


def check_counts(root, count):
    for path in files(root, COUNTED):
        for match in COUNT.finditer(path.read_text(encoding="utf-8")):
            word = match[1].lower()
            number = int(word) if word.isdigit() else (
                NUMBER_WORDS.index(word) if word in NUMBER_WORDS else None)
            if number is not None and number > 2:
                yield f"{path.relative_to(root)}: '{match[0]}'", number == count


def check_limits(root, limits):
    capacities = {"path": limits["maxOutputPathBytes"] + 1,
                  "note": limits["maxNoteTextBytes"] + 1,
                  "name": limits["maxInstrumentNameBytes"] + 1}
    for path in files(root, COUNTED):
        text = path.read_text(encoding="utf-8")
        for match in RATE_RANGE.finditer(text):
            yield (f"{path.relative_to(root)}: '{match[0]}'",
                   (int(match[1]), int(match[2])) ==
                   (limits["minSampleRate"], limits["maxSampleRate"]))
        for match in SHORTER.finditer(text):
            before = text[max(0, match.start() - 120):match.start()].lower()
            # The limit meant is that of the argument named last before it.
            named = {key: max(before.rfind(word) for word in words)
                     for key, words in LIMIT_WORDS.items()}
            which = max(named, key=named.__getitem__)
            if named[which] < 0:
                continue
            yield (f"{path.relative_to(root)}: '{match[0]}' (the {which} limit)",
                   int(match[1] or match[2]) == capacities[which])


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


def main(catalogue_file, source):
    catalogue = json.loads(pathlib.Path(catalogue_file).read_text(encoding="utf-8"))
    root = pathlib.Path(source)
    results = [*check_voice_lists(root, catalogue["voices"]),
               *check_counts(root, len(catalogue["voices"])),
               *check_limits(root, catalogue["limits"]),
               *check_status_table(root, catalogue["statuses"], catalogue["refusals"])]
    failed = [what for what, good in results if not good]
    for what in failed:
        print(f"does not match the library's catalogue: {what}")
    print(f"{len(results) - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))

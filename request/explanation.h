// What a refusal means to a person, from the outcome's facts: the bad
// character named so that it can be seen, what to write instead, the
// voices a mistyped name was probably meant to be, and why the output
// could not be opened or written. Every front end says these the same way;
// each frames them in its own terms (an argument's name, a list command).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "request/outcome.h"

namespace tolvimo {

// The character as a person can see it, in UTF-8: "'c'", "' ' (space)",
// "U+0009 (tab)", "'é' (U+00E9)", "U+00A0 (no-break space)".
std::string NameCharacter(char32_t character);

// What to do about the bad note, one clause without a final stop:
// "note letters are upper case: write 'C'". Where the character looks like
// a rest, a length, a chord or a space between notes, it also says what
// note text is: notes only, each NOTE_DURATION long, one after another.
// Where the note text is a voice's name, it says the arguments' order.
std::string NoteHint(const BadNote& note);

// What to do about an unknown instrument name, one clause without a final
// stop: the arguments' order where the name reads as notes, else the close
// voices, or that none is close; then `everyName`, the front end's words for
// where the list is ("'wavinstruments --list' prints every name").
std::string InstrumentHint(const Outcome& outcome, std::string_view everyName);

// `text` with each control character written as an escape (\t, \n, \r,
// \x1B), so that it reads on one line and a tab can be seen.
std::string EscapeControls(std::string_view text);

// The library's line for the outcome as one line, without its line end:
// a control character it quotes (a tab or line feed in a name) escaped.
std::string ShownLine(const Outcome& outcome);

// The voices a person typing `typed` (UTF-8) would accept as meant, best
// first, at most three: the same name in another case, one slip of a key
// (two in a long name), or the first three letters or more of a name.
// Empty when no name is that close.
std::vector<std::string_view> CloseInstruments(std::string_view typed);

// The voices close to the instrument name an outcome quotes, as above (the
// name as the request read it; empty when it read none).
std::vector<std::string_view> CloseInstruments(const Outcome& outcome);

// Why the output could not be opened or written (CannotOpen, CannotWrite),
// in the system's words: "No such file or directory", "folder 'missing':
// No such file or directory", "the path is 204 bytes long; it must be
// shorter than 200", "File too large: the file size limit (ulimit -f) is
// 4096 bytes". Empty when no reason is known or for any other refusal.
std::string OutputReason(const Outcome& outcome);

// The system's words for an errno value.
std::string SystemWords(int error);

}  // namespace tolvimo

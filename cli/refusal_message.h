// Turning the library's error line into a message a person can act on: the
// line word for word, then what it points at and what to do about it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/utf16_arguments.h"

namespace tolvimo_cli {

// What the user typed, for the explanation.
struct TypedRequest {
    std::string_view instrument;  // as typed
    const Utf16String& notes;     // as the library received them
    std::string_view sampleRate;  // as typed
    std::string output;           // as typed
    bool streamed;                // OUTPUT is standard output
    int streamError;              // errno of the refused write to standard output, or 0
};

// The message's lines, without the program's name: the first holds
// `libraryLine` unchanged, with the reason appended where one is known.
std::vector<std::string> ExplainRefusal(std::string_view libraryLine, const TypedRequest& request);

// The character at byte `position` of the notes as the library spells them:
// its place counted in characters from 1, a visible name, and a hint.
std::string DescribeBadNote(const Utf16String& notes, size_t position);

// The instrument names nearest to `typed`, best first, at most three.
std::vector<std::string> NearestInstruments(std::string_view typed);

}  // namespace tolvimo_cli

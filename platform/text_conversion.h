// Stand-in for the platform's conversion of UTF-16 arguments to the system's
// 8-bit text: UTF-8 on POSIX, the ANSI code page on Windows.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

#include "TolvimoWAVInstruments.h"

namespace tolvimo {

struct FreeReleaser {
    void operator()(char* text) const { std::free(text); }
};

// A heap-allocated NUL-terminated 8-bit string and its length in bytes.
struct NarrowText {
    std::unique_ptr<char, FreeReleaser> text;
    size_t length = 0;
    bool lossy = false;  // some character became the replacement character
};

// True when a path spelled `narrow` opens the file the caller named: on
// Windows always, since the file is opened by its UTF-16 name; elsewhere
// only when the 8-bit text spells the name exactly.
bool OpensAsNamed(const NarrowText& narrow);

// Converts the NUL-terminated `wide` string, whatever its length, into a
// buffer sized for the whole result. A character the 8-bit encoding cannot
// represent becomes its replacement character (U+FFFD in UTF-8), which is
// never a note letter, accidental or digit, and `out.lossy` is set: such a
// text names a file the caller never named. Returns false when memory runs
// out; `out` is then empty.
bool ConvertToNarrow(const TolvimoUtf16* wide, NarrowText& out);

// The halves of a UTF-16 surrogate pair.
constexpr bool IsHighSurrogate(TolvimoUtf16 unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool IsLowSurrogate(TolvimoUtf16 unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Bytes taken by the character starting at `position` in `text` (1 for
// ASCII), never reaching past `length`.
size_t CharacterLength(const char* text, size_t length, size_t position);

}  // namespace tolvimo

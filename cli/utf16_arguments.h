// Turning command-line arguments into the library's UTF-16 strings.
#pragma once

#include <string>
#include <string_view>

#include "TolvimoWAVInstruments.h"

namespace tolvimo_cli {

using Utf16String = std::basic_string<TolvimoUtf16>;

// Decodes UTF-8; every malformed sequence (stray continuation byte, overlong
// form, surrogate, value above U+10FFFF, truncated sequence) becomes U+FFFD.
Utf16String Utf8ToUtf16(std::string_view utf8);

// True when `text` is well-formed UTF-8 (U+FFFD itself, properly encoded,
// included): decoding it loses nothing.
bool IsValidUtf8(std::string_view text);

// Argument `index` of the command line as UTF-16. On Windows it is taken from
// the wide command line, so no character is lost to the ANSI code page;
// elsewhere argv[index] is decoded as UTF-8.
Utf16String Utf16Argument(char** argv, int index);

}  // namespace tolvimo_cli

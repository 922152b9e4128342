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

}  // namespace tolvimo_cli

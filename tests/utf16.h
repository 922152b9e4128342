// Text as the library's entries take it, for the tests and the tools that
// call them: UTF-8 turned into UTF-16 code units.
#pragma once

#include <string>
#include <string_view>

#include "TolvimoWAVInstruments.h"

namespace tolvimo_test {

using Utf16 = std::basic_string<TolvimoUtf16>;

// Well-formed UTF-8 (ASCII included) as UTF-16; a character beyond U+FFFF
// becomes its surrogate pair. Text that is not UTF-8 is the caller's fault:
// tests that need broken text build it from code units themselves.
inline Utf16 ToUtf16(std::string_view utf8) {
    Utf16 text;
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        char32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
        for (size_t k = 1; k < length && i + k < utf8.size(); ++k) {
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
        }
        if (code > 0xFFFF) {
            code -= 0x10000;
            text.push_back(static_cast<TolvimoUtf16>(0xD800 + (code >> 10)));
            code = 0xDC00 + (code & 0x3FF);
        }
        text.push_back(static_cast<TolvimoUtf16>(code));
        i += length;
    }
    return text;
}

}  // namespace tolvimo_test

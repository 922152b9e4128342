#include "cli/utf16_arguments.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// windows.h first: shellapi.h builds on its types.
#include <shellapi.h>
#endif

namespace tolvimo_cli {
namespace {

constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Decodes one code point at `at`, advancing it; malformed input yields
// U+FFFD and consumes one byte, so decoding resynchronises on the next one.
char32_t DecodeOne(std::string_view text, size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, minimum = 0x10000;
    } else {
        ++at;
        return REPLACEMENT_CHARACTER;
    }
    if (at + length > text.size()) {
        ++at;
        return REPLACEMENT_CHARACTER;
    }
    for (size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(text[at + k]);
        if (!IsContinuation(byte)) {
            ++at;
            return REPLACEMENT_CHARACTER;
        }
        code = (code << 6) | (byte & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        ++at;
        return REPLACEMENT_CHARACTER;
    }
    at += length;
    return code;
}

}  // namespace

Utf16String Utf8ToUtf16(std::string_view utf8) {
    Utf16String out;
    out.reserve(utf8.size());
    for (size_t at = 0; at < utf8.size();) {
        const char32_t code = DecodeOne(utf8, at);
        if (code >= 0x10000) {
            out.push_back(static_cast<TolvimoUtf16>(0xD800 + ((code - 0x10000) >> 10)));
            out.push_back(static_cast<TolvimoUtf16>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<TolvimoUtf16>(code));
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        const size_t start = at;
        // Only a malformed sequence consumes a single byte that is not ASCII.
        if (DecodeOne(text, at) == REPLACEMENT_CHARACTER && at - start == 1) return false;
    }
    return true;
}

Utf16String Utf16Argument(char** argv, int index) {
#if defined(_WIN32)
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr && index < count) {
        Utf16String argument(wide[index]);
        LocalFree(wide);
        return argument;
    }
    if (wide != nullptr) LocalFree(wide);
#endif
    return Utf8ToUtf16(argv[index]);
}

}  // namespace tolvimo_cli

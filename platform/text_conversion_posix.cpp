// POSIX: the 8-bit text is UTF-8. Unpaired surrogates become U+FFFD.
#include <cstdint>

#include "platform/text_conversion.h"

namespace tolvimo {
namespace {

constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;

// Decodes the code point at wide[i], joining a surrogate pair; sets `units`
// to the code units it took.
char32_t DecodeAt(const char16_t* wide, size_t i, size_t& units) {
    const char16_t unit = wide[i];
    units = 1;
    if (IsHighSurrogate(unit) && IsLowSurrogate(wide[i + 1])) {
        units = 2;
        return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
               (static_cast<char32_t>(wide[i + 1]) - 0xDC00);
    }
    if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) return REPLACEMENT_CHARACTER;
    return unit;
}

size_t EncodedLength(char32_t code) {
    if (code < 0x80) return 1;
    if (code < 0x800) return 2;
    if (code < 0x10000) return 3;
    return 4;
}

char* Encode(char32_t code, char* out) {
    const size_t length = EncodedLength(code);
    static constexpr unsigned char LEAD[] = {0, 0x00, 0xC0, 0xE0, 0xF0};
    for (size_t k = length - 1; k > 0; --k) {
        out[k] = static_cast<char>(0x80 | (code & 0x3F));
        code >>= 6;
    }
    out[0] = static_cast<char>(LEAD[length] | code);
    return out + length;
}

}  // namespace

bool ConvertToNarrow(const TolvimoUtf16* wide, NarrowText& out) {
    // First pass measures, so the buffer holds the whole text exactly.
    size_t bytes = 0;
    size_t units = 0;
    for (size_t i = 0; wide[i] != 0; i += units) bytes += EncodedLength(DecodeAt(wide, i, units));

    out.text.reset(static_cast<char*>(std::malloc(bytes + 1)));
    out.length = 0;
    if (!out.text) return false;
    char* at = out.text.get();
    bool lossy = false;
    for (size_t i = 0; wide[i] != 0; i += units) {
        const char32_t code = DecodeAt(wide, i, units);
        // U+FFFD typed by the caller is one unit; a replaced surrogate also one.
        lossy = lossy || (code == REPLACEMENT_CHARACTER && wide[i] != REPLACEMENT_CHARACTER);
        at = Encode(code, at);
    }
    *at = '\0';
    out.length = bytes;
    out.lossy = lossy;
    return true;
}

size_t CharacterLength(const char* text, size_t length, size_t position) {
    const auto lead = static_cast<unsigned char>(text[position]);
    size_t size = 1;
    if (lead >= 0xF0) {
        size = 4;
    } else if (lead >= 0xE0) {
        size = 3;
    } else if (lead >= 0xC0) {
        size = 2;
    }
    return position + size <= length ? size : length - position;
}

bool OpensAsNamed(const NarrowText& narrow) {
    return !narrow.lossy;
}

}  // namespace tolvimo

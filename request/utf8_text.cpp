#include "request/utf8_text.h"

#include <cstdlib>
#include <cstring>

namespace tolvimo {
namespace {

constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Bytes of `text` converted at a time when measured or quoted whole.
constexpr size_t PIECE_BYTES = 256;

// Writes the characters of `text` from `at`, malformed ones as U+FFFD, into
// `out` until it holds `room` bytes or the text ends; returns the bytes
// written and moves `at` past what they hold.
size_t CopyCharacters(const char* text, size_t length, size_t& at, char* out, size_t room) {
    size_t used = 0;
    while (at < length) {
        size_t next = at;
        char encoded[4];
        const size_t size = EncodeUtf8(DecodeUtf8(text, length, next), encoded);
        if (used + size > room) break;
        std::memcpy(out + used, encoded, size);
        used += size;
        at = next;
    }
    return used;
}

}  // namespace

char32_t DecodeUtf8(const char* text, size_t length, size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t size = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        size = 2, code = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        size = 3, code = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        size = 4, code = lead & 0x07, minimum = 0x10000;
    } else {
        ++at;
        return REPLACEMENT_CHARACTER;
    }
    if (at + size > length) {
        ++at;
        return REPLACEMENT_CHARACTER;
    }
    for (size_t k = 1; k < size; ++k) {
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
    at += size;
    return code;
}

size_t EncodeUtf8(char32_t code, char* out) {
    const size_t size = code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    static constexpr unsigned char LEAD[] = {0, 0x00, 0xC0, 0xE0, 0xF0};
    for (size_t k = size - 1; k > 0; --k) {
        out[k] = static_cast<char>(0x80 | (code & 0x3F));
        code >>= 6;
    }
    out[0] = static_cast<char>(LEAD[size] | code);
    return size;
}

bool ReadUtf8Argument(const char* text, size_t capacity, ArgumentText& argument) {
    argument.whole = text;
    NarrowText& out = argument.narrow;
    out.text.reset(static_cast<char*>(std::malloc(capacity)));
    out.length = 0;
    out.lossy = false;
    if (!out.text) return false;
    const size_t length = std::strlen(text);
    size_t at = 0;
    const size_t used = CopyCharacters(text, length, at, out.text.get(), capacity - 1);
    out.text.get()[used] = '\0';
    argument.cut = at < length;
    if (!argument.cut) {
        out.length = used;
        argument.bytes = used;
        return true;
    }
    // Too long for its buffer: the first bytes are enough to say so, and
    // the rest is only measured.
    out.length = capacity;
    size_t total = used;
    char piece[PIECE_BYTES];
    while (at < length) total += CopyCharacters(text, length, at, piece, sizeof piece);
    argument.bytes = total;
    return true;
}

void Utf8InPieces(const char* text, void (*take)(void*, const char*, size_t), void* context) {
    const size_t length = std::strlen(text);
    char piece[PIECE_BYTES];
    for (size_t at = 0; at < length;) {
        const size_t used = CopyCharacters(text, length, at, piece, sizeof piece);
        take(context, piece, used);
    }
}

BadNote Utf8BadNoteAt(const char* whole, const char* text, size_t length, size_t position) {
    BadNote note;
    note.position = position;
    // The copy is well-formed UTF-8: its lead byte gives the length.
    const auto lead = static_cast<unsigned char>(text[position]);
    const size_t size = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    note.byteCount = position + size <= length ? size : length - position;
    std::memcpy(note.bytes, text + position, note.byteCount);
    const size_t wholeLength = std::strlen(whole);
    size_t next = position;
    note.character = DecodeUtf8(whole, wholeLength, next);
    if (position > 0) note.before = static_cast<unsigned char>(whole[position - 1]);
    if (next < wholeLength) note.after = DecodeUtf8(whole, wholeLength, next);
    return note;
}

bool WidenUtf8(const char* text, TolvimoUtf16* out, size_t capacity) {
    const size_t length = std::strlen(text);
    size_t used = 0;
    for (size_t at = 0; at < length;) {
        const size_t start = at;
        const char32_t code = DecodeUtf8(text, length, at);
        if (code == REPLACEMENT_CHARACTER && at - start == 1) return false;
        const size_t units = code >= 0x10000 ? 2 : 1;
        if (used + units >= capacity) return false;
        if (units == 2) {
            out[used++] = static_cast<TolvimoUtf16>(0xD800 + ((code - 0x10000) >> 10));
            out[used++] = static_cast<TolvimoUtf16>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out[used++] = static_cast<TolvimoUtf16>(code);
        }
    }
    out[used] = 0;
    return true;
}

}  // namespace tolvimo

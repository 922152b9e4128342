#include "request/argument_text.h"

#include <cstdlib>
#include <cstring>

namespace tolvimo {
namespace {

// UTF-16 code units converted at a time.
constexpr size_t PIECE_UNITS = 256;

// Converts the next piece of `wide` from `position`, never splitting a
// surrogate pair, and moves `position` past it. False when memory runs out.
bool ConvertPiece(const TolvimoUtf16* wide, size_t& position, NarrowText& piece) {
    TolvimoUtf16 units[PIECE_UNITS + 1];
    size_t count = 0;
    while (count < PIECE_UNITS && wide[position + count] != 0) {
        units[count] = wide[position + count];
        ++count;
    }
    if (count == PIECE_UNITS && IsHighSurrogate(units[count - 1]) &&
        IsLowSurrogate(wide[position + count])) {
        --count;
    }
    units[count] = 0;
    position += count;
    return ConvertToNarrow(units, piece);
}

}  // namespace

bool ConvertArgument(const TolvimoUtf16* wide, size_t capacity, NarrowText& out) {
    out.text.reset(static_cast<char*>(std::malloc(capacity)));
    out.length = 0;
    out.lossy = false;
    if (!out.text) return false;
    out.text.get()[0] = '\0';
    size_t position = 0;
    while (wide[position] != 0) {
        NarrowText piece;
        if (!ConvertPiece(wide, position, piece)) {
            out.text.reset();
            return false;
        }
        out.lossy = out.lossy || piece.lossy;
        if (piece.length >= capacity - out.length) {
            // Too long for its buffer: the first bytes are enough to say so.
            std::memcpy(out.text.get() + out.length, piece.text.get(), capacity - 1 - out.length);
            out.text.get()[capacity - 1] = '\0';
            out.length = capacity;
            return true;
        }
        std::memcpy(out.text.get() + out.length, piece.text.get(), piece.length + 1);
        out.length += piece.length;
    }
    return true;
}

bool ConvertInPieces(const TolvimoUtf16* wide, void (*take)(void*, const char*, size_t),
                     void* context) {
    size_t position = 0;
    while (wide[position] != 0) {
        NarrowText piece;
        if (!ConvertPiece(wide, position, piece)) return false;
        take(context, piece.text.get(), piece.length);
    }
    return true;
}

size_t NarrowLength(const TolvimoUtf16* wide) {
    size_t length = 0;
    const auto add = [](void* total, const char*, size_t bytes) {
        *static_cast<size_t*>(total) += bytes;
    };
    return ConvertInPieces(wide, add, &length) ? length : 0;
}

}  // namespace tolvimo

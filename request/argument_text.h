// The request's text arguments converted in pieces of bounded size, so that
// memory stays the same whatever an argument's length.
#pragma once

#include <cstddef>

#include "platform/text_conversion.h"

namespace tolvimo {

// Converts `wide` to 8-bit text, keeping only what a buffer of `capacity`
// bytes holds with its terminator. `out.length` is the text's length when
// it fits, and `capacity` when it does not (the text is then cut short and
// only its first bytes are kept). Returns false when memory runs out.
bool ConvertArgument(const TolvimoUtf16* wide, size_t capacity, NarrowText& out);

// Hands `wide`, converted to 8-bit text whatever its length, to `take` a
// piece at a time. Returns false when memory runs out partway.
bool ConvertInPieces(const TolvimoUtf16* wide,
                     void (*take)(void* context, const char* text, size_t length), void* context);

// The length in 8-bit bytes of `wide` converted whole, measured a piece at
// a time; 0 when memory runs out.
size_t NarrowLength(const TolvimoUtf16* wide);

}  // namespace tolvimo

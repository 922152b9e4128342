// A UTF-8 caller's text arguments, read as the UTF-16 ones are: each
// malformed sequence counts as U+FFFD, so a request spelled in either
// encoding reads the same characters, and the working copy is bounded.
#pragma once

#include <cstddef>

#include "request/outcome.h"

namespace tolvimo {

// Decodes the character at `text[at]` (before `length`), advancing `at`. A
// malformed sequence (a stray continuation byte, an overlong form, a
// surrogate, a value above U+10FFFF, a cut sequence) gives U+FFFD and takes
// one byte, so reading picks up again at the next.
char32_t DecodeUtf8(const char* text, size_t length, size_t& at);

// The UTF-8 bytes of `character` into `out` (room for 4); returns how many.
size_t EncodeUtf8(char32_t character, char* out);

// Reads `text` into `argument` as ConvertArgument reads UTF-16 text: a copy
// of at most `capacity` bytes with its terminator, malformed sequences
// written as U+FFFD, `cut` when it did not fit and `bytes` the whole
// length so written. `whole` keeps the caller's pointer. False when memory
// runs out.
bool ReadUtf8Argument(const char* text, size_t capacity, ArgumentText& argument);

// Hands `text`, malformed sequences written as U+FFFD, to `take` a piece at
// a time, whatever its length.
void Utf8InPieces(const char* text, void (*take)(void* context, const char* piece, size_t length),
                  void* context);

// The character at byte `position` of the caller's notes `whole`, which
// starts no note, where the library's copy `text` (`length` bytes, each
// malformed sequence written as U+FFFD) has it at the same position:
// every byte before it is a one-byte note character.
BadNote Utf8BadNoteAt(const char* whole, const char* text, size_t length, size_t position);

// `text` as NUL-terminated UTF-16 in `out`, which has room for `capacity`
// units; false when it does not fit or holds a malformed sequence, which
// would name a file the caller never named.
bool WidenUtf8(const char* text, TolvimoUtf16* out, size_t capacity);

}  // namespace tolvimo

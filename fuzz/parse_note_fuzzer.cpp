// The note reader over arbitrary bytes: each call either refuses without
// moving or reads 1 to 4 bytes and gives a positive finite frequency, and
// reading token by token stops at the end or at the first non-note.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "notes/note_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const size_t length = std::char_traits<char>::length(text.c_str());  // up to the first NUL
    uint32_t position = 0;
    for (;;) {
        const uint32_t before = position;
        const double frequency = tolvimo::ParseNote(text.c_str(), position);
        if (frequency == tolvimo::NO_NOTE) {
            if (position != before) std::abort();
            // Only the end of the text or a byte outside A-G stops the reading.
            if (position < length && text[position] >= 'A' && text[position] <= 'G') std::abort();
            return 0;
        }
        if (!(frequency > 0.0) || !std::isfinite(frequency)) std::abort();
        if (position < before + 1 || position > before + 4 || position > length) std::abort();
    }
}

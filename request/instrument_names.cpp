#include "request/instrument_names.h"

#include <cstring>

#include "synthesis/instrument_presets.h"

namespace tolvimo {
namespace {

constexpr const char* NAMES[INSTRUMENT_KIND_COUNT] = {
    "piano",   "synth",       "drum",         "flute",    "violin", "organ", "bell",   "guitar",
    "trumpet", "harpsichord", "glockenspiel", "theremin", "oboe",   "bass",  "epiano",
};

}  // namespace

const char* InstrumentName(uint32_t kind) {
    return kind < INSTRUMENT_KIND_COUNT ? NAMES[kind] : nullptr;
}

int32_t FindInstrument(const char* name, size_t length) {
    for (uint32_t kind = 0; kind < INSTRUMENT_KIND_COUNT; ++kind) {
        if (std::strlen(NAMES[kind]) == length && std::memcmp(NAMES[kind], name, length) == 0) {
            return static_cast<int32_t>(kind);
        }
    }
    return -1;
}

}  // namespace tolvimo

#include "request/instrument_names.h"

#include <cstring>

#include "TolvimoWAVInstruments.h"
#include "synthesis/preset_table.h"

namespace tolvimo {

static_assert(INSTRUMENT_KIND_COUNT == TOLVIMO_VOICE_COUNT,
              "the public header's TOLVIMO_VOICE_COUNT must count the preset table's rows");

const char* InstrumentName(uint32_t kind) {
    return kind < INSTRUMENT_KIND_COUNT ? PRESETS[kind].name : nullptr;
}

int32_t FindInstrument(const char* name, size_t length) {
    for (uint32_t kind = 0; kind < INSTRUMENT_KIND_COUNT; ++kind) {
        const char* candidate = PRESETS[kind].name;
        if (std::strlen(candidate) == length && std::memcmp(candidate, name, length) == 0) {
            return static_cast<int32_t>(kind);
        }
    }
    return -1;
}

}  // namespace tolvimo

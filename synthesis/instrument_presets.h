// The fifteen fixed instrument presets.
#pragma once

#include <cstdint>

#include "synthesis/instrument_voice.h"

namespace tolvimo {

// Instrument numbers, in the order of the request's name table.
constexpr uint32_t INSTRUMENT_KIND_COUNT = 15;

// Returns a newly allocated voice for `kind` (0 to 14), owned by the caller
// and released with ReleaseVoice. Returns nullptr when `kind` is out of range
// or memory runs out; a partly built voice is never returned.
InstrumentVoice* CreateVoice(uint32_t kind);

}  // namespace tolvimo

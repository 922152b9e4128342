// Building voices from the preset table.
#pragma once

#include <cstdint>

#include "synthesis/instrument_voice.h"
#include "synthesis/preset_table.h"

namespace tolvimo {

// Returns a newly allocated voice for `kind` (below INSTRUMENT_KIND_COUNT),
// owned by the caller and released with ReleaseVoice. Returns nullptr when
// `kind` is out of range or memory runs out; a partly built voice is never
// returned.
InstrumentVoice* CreateVoice(uint32_t kind);

}  // namespace tolvimo

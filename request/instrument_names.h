// The names a request accepts: those of the preset table, in its order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvimo {

// Name of instrument `kind` (below INSTRUMENT_KIND_COUNT), or nullptr outside
// that range.
const char* InstrumentName(uint32_t kind);

// Instrument number of `name` (`length` bytes), compared exactly and
// case-sensitively, or -1 when no instrument has that name.
int32_t FindInstrument(const char* name, size_t length);

}  // namespace tolvimo

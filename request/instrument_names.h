// The names a request accepts, in the order of their instrument numbers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvimo {

// Name of instrument `kind` (0 to 14), or nullptr outside that range.
const char* InstrumentName(uint32_t kind);

// Instrument number of `name` (`length` bytes), compared exactly and
// case-sensitively, or -1 when no instrument has that name.
int32_t FindInstrument(const char* name, size_t length);

}  // namespace tolvimo

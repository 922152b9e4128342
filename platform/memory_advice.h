// Hints to the operating system about how the library uses its memory.
#pragma once

#include <cstddef>

namespace tolvimo {

// Asks for the whole pages inside [start, start + bytes), which are about to
// be written, to be mapped in one call instead of one page fault each. Only
// a hint: nothing changes where the system cannot, and no page outside the
// range is touched.
void PrepareForWriting(void* start, size_t bytes);

}  // namespace tolvimo

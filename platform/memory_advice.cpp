#include "platform/memory_advice.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace tolvimo {

void PrepareForWriting(void* start, size_t bytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    // Whole pages only, so no page beyond the range is mapped.
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t misalignment = reinterpret_cast<uintptr_t>(start) % page;
    const size_t skip = misalignment == 0 ? 0 : static_cast<size_t>(page - misalignment);
    if (bytes <= skip) return;
    const size_t whole = (bytes - skip) / page * page;
    if (whole > 0) madvise(static_cast<char*>(start) + skip, whole, MADV_POPULATE_WRITE);
#else
    static_cast<void>(start);
    static_cast<void>(bytes);
#endif
}

}  // namespace tolvimo

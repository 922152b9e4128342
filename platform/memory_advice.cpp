#include "platform/memory_advice.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tolvimo {

void AdviseLargeBuffer(void* start, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only whole large pages inside the buffer can be backed by one.
    constexpr uintptr_t LARGE_PAGE = uintptr_t{1} << 21;
    const uintptr_t misalignment = reinterpret_cast<uintptr_t>(start) % LARGE_PAGE;
    const size_t skip = misalignment == 0 ? 0 : static_cast<size_t>(LARGE_PAGE - misalignment);
    if (bytes <= skip) return;
    const size_t whole = (bytes - skip) / LARGE_PAGE * LARGE_PAGE;
    if (whole > 0) madvise(static_cast<char*>(start) + skip, whole, MADV_HUGEPAGE);
#else
    static_cast<void>(start);
    static_cast<void>(bytes);
#endif
}

}  // namespace tolvimo

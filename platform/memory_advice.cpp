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
    const auto begin = reinterpret_cast<uintptr_t>(start);
    const uintptr_t first = (begin + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
    const uintptr_t end = (begin + bytes) & ~(LARGE_PAGE - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
    static_cast<void>(start);
    static_cast<void>(bytes);
#endif
}

}  // namespace tolvimo

// Two samples a vector: SSE2 on x86 (the x86-64 baseline, and 32-bit Windows
// with -msse2), SIMD128 in WebAssembly, and whatever the compiler makes of a
// pair of doubles on other machines.
#include "synthesis/fast/note_kernel_body.h"

namespace tolvimo {
namespace {

int32_t RenderPairs(const NoteJob& job, int32_t first, int32_t count, int16_t* out,
                    int32_t* recheck) {
    return RenderSamplesOf<Lanes<2, 6>>(job, first, count, out, recheck);
}

}  // namespace

const NoteKernel KERNEL_PAIRS{"pairs", RenderPairs, 2 * 6};

}  // namespace tolvimo

// AVX2: four samples a vector. Compiled with -mavx2; chosen at run time.
#include "synthesis/fast/note_kernel_body.h"

namespace tolvimo {
namespace {

int32_t RenderAvx2(const NoteJob& job, int32_t first, int32_t count, int16_t* out,
                   int32_t* recheck) {
    return RenderSamplesOf<Lanes<4, 4>>(job, first, count, out, recheck);
}

}  // namespace

const NoteKernel KERNEL_AVX2{"avx2", RenderAvx2, 4 * 4};

}  // namespace tolvimo

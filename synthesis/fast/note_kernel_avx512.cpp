// AVX-512: eight samples a vector, four vectors in flight (six and eight
// spill more than the extra overlap gains). Compiled with -mavx512f; chosen at run time.
#include "synthesis/fast/note_kernel_body.h"

namespace tolvimo {
namespace {

int32_t RenderAvx512(const NoteJob& job, int32_t first, int32_t count, int16_t* out,
                     int32_t* recheck) {
    return RenderSamplesOf<Lanes<8, 4>>(job, first, count, out, recheck);
}

}  // namespace

const NoteKernel KERNEL_AVX512{"avx512", RenderAvx512, 8 * 4};

}  // namespace tolvimo

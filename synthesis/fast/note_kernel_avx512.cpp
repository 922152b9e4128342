// AVX-512: eight samples a vector, four vectors in flight (six and eight
// spill more than the extra overlap gains). Compiled with -mavx512f; chosen at run time.
#include "synthesis/fast/note_kernel_body.h"

namespace tolvimo {

const NoteKernel KERNEL_AVX512 = KernelOf<Lanes<8, 4>>("avx512");

}  // namespace tolvimo

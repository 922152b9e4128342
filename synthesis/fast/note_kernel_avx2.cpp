// AVX2: four samples a vector. Compiled with -mavx2; chosen at run time.
#include "synthesis/fast/note_kernel_body.h"

namespace tolvimo {

const NoteKernel KERNEL_AVX2 = KernelOf<Lanes<4, 4>>("avx2");

}  // namespace tolvimo

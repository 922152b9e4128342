// Two samples a vector: SSE2 on x86 (the x86-64 baseline, and 32-bit Windows
// with -msse2), SIMD128 in WebAssembly, and whatever the compiler makes of a
// pair of doubles on other machines.
#include "synthesis/fast/note_kernel_body.h"

namespace tolvimo {

const NoteKernel KERNEL_PAIRS = KernelOf<Lanes<2, 6>>("pairs");

}  // namespace tolvimo

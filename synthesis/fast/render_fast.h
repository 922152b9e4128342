// The vector path: harmonic sines evaluated several samples at a time with a
// vector sine, corrected to give exactly the scalar path's samples.
#pragma once

#include <cstdint>

#include "synthesis/fast/note_kernels.h"
#include "synthesis/instrument_voice.h"

namespace tolvimo {

// RECHECK_BOUND is a bound E on |fast value - scalar value| for a sample's
// value before truncation. Truncation toward zero changes only at nonzero
// integers, so a fast value farther than E from every nonzero integer
// truncates as the scalar value does; the others are recomputed.
//
// Both paths run the same IEEE operations in the same order on the same
// inputs, except that each sine comes from the vector sine instead of
// std::sin. With u = 2^-53:
//  - a sine of the vector library is within 3.5 ulp of the true sine and
//    std::sin within 1 ulp; the vector path first subtracts whole periods,
//    which moves the argument by at most 2.3e-16 < 2.1u (see
//    note_kernel_body.h) and the sine, being 1-Lipschitz, as much. So two
//    sines of one argument differ by at most 4.5u + 2.1u < 7u (|sin| <= 1);
//  - vibrato: the vibrato sine differs by <= 4.5u, so depth x sine (depth
//    <= 0.03) differs by < 0.3u before rounding; 1 + depth x sine, rounded
//    at ulp(1) = 2u, differs by at most 2u + 0.3u, and each of the three
//    products f = (..) x frequency, (j + 1) x f, x t, x 2pi can round the
//    two operands apart by one more ulp. So the arguments x of the
//    harmonics differ by at most 8u|x| (relative 2.2u + 4 roundings, each
//    <= 2u relative, rounded up). |x| <= 12 x 8372 x 1.03 x 0.5 x 2pi
//    < 3.3e5 (12 harmonics, B8 sharp, 3 % vibrato, t < 0.5 s), so the
//    arguments differ by < 8 x 1.12e-16 x 3.3e5 < 3e-10 and, sine being
//    1-Lipschitz, the sines by < 3e-10 + 7u < 3.1e-10. Without vibrato
//    the arguments are identical and this term is 7u alone;
//  - sum over H <= 12 harmonics of a_j x sin, sum of a_j <= 5.35 (bell),
//    |sum| < 8: the exact sums differ by <= 5.35 x 3.1e-10 < 1.7e-9, and
//    each of the 2H roundings (product, addition) can part them by one more
//    ulp(8) = 16u: 24 x 16u < 4.3e-14. Sums differ by < 1.8e-9;
//  - value = level x (sum / H) x 0.6 x 32767 with level <= 1: the exact
//    values differ by < 19661 x 1.8e-9 < 3.6e-5, and the four roundings add
//    at most one ulp(32768) = 7.3e-12 each.
// So |fast - scalar| < 3.7e-5. E = 2^-10 (about 9.8e-4) leaves a margin of
// over 25; samples within E of a nonzero integer are about 0.2 % of all.
constexpr double RECHECK_BOUND = 1.0 / 1024.0;

// Writes `count` samples of a note into `out` with the widest vector unit the
// CPU has, recomputing with the scalar path every sample whose fast value
// lies within `recheckBound` of a nonzero integer. Returns false, writing
// nothing, when this build or CPU has no vector path.
bool RenderNoteFast(int16_t* out, int32_t count, int32_t sampleRate, double frequency,
                    double duration, const InstrumentVoice& voice, double recheckBound);

// As RenderNoteFast, with the given kernel (which the CPU must support).
void RenderNoteWith(NoteKernel kernel, int16_t* out, int32_t count, int32_t sampleRate,
                    double frequency, double duration, const InstrumentVoice& voice,
                    double recheckBound);

}  // namespace tolvimo

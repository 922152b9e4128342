// The vector path: several samples at a time, each sample's harmonics from one
// vector sine-cosine pair of its fundamental, corrected to give exactly the
// scalar path's samples.
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
// Both paths compute t with the same IEEE division, and the same phase tests
// of the envelope and the same products after the sum, in the same order.
// They part in three places. The scalar path sums a_j x sin(X_j) with
// X_j = (((j + 1) x f) x t) x 2pi, one std::sin per harmonic. The vector
// path takes w = f x t (turns), drops its whole turns k, gets sin and cos of
// x = (w - k) x 2pi from the vector library (or, without vibrato, by
// rotating the last direct pair) and forms
// sum_j a_j sin((j + 1) x) by Clenshaw's recurrence. With u = 2^-53, a
// rounding moves a result r by at most u|r|, and by at most u for |r| <= 1:
//  - the angle. w - k is exact; x is one product, |x| <= pi, off by at most
//    ulp(pi) / 2 = 2u < 2.3e-16, which harmonic j + 1 <= 12 multiplies to
//    < 2.7e-15. The k x (j + 1) whole turns dropped are turns of the double
//    2pi, which misses the true 2pi by < 2.5e-16: with w <= 8869.8 x 1.03 x
//    0.5 < 4569 (B#8#, the highest pitch; 3 % vibrato; t < 0.5 s) that is
//    < 12 x 4569 x 2.5e-16 < 1.4e-11;
//  - the argument. Without vibrato both paths use the same f: X_j has three
//    roundings and (j + 1) x w x 2pi one, so they differ by at most 4u|X_j|.
//    With vibrato the vibrato sines differ: both arguments are rate x t x 2pi
//    with |.| < 19 (rates below 6.1 Hz), off by < 25u after the vector
//    path's own reduction; plus the vector sine's 3.5 ulp and std::sin's 1:
//    < 30u. Times depth <= 0.03 that is < 0.9u, plus the two roundings of
//    the products (each < 0.03u): < 1u. 1 + (..) rounds once more on each
//    side: at most 3u apart, relative to a value >= 0.97 under 3.1u; the
//    product with the note's frequency adds one rounding on each side, so
//    the two f differ by < 5.1u relative, and the arguments by < 5.1u + 4u
//    + 1.4u (first-order slack) = 10.5u relative. |X_j| <= 12 x 4569 x 2pi
//    < 3.45e5, so the arguments differ by < 10.5 x 1.12e-16 x 3.45e5 <
//    4.1e-10 (< 1.6e-10 without vibrato);
//  - the sines. std::sin is within 1 ulp (<= u) and, sin being 1-Lipschitz,
//    each exact sin((j + 1) x) lies within 4.1e-10 + 1.4e-11 + 2.7e-15 + u
//    < 4.3e-10 of the scalar path's sine;
//  - the recurrence. Clenshaw's exact result is s~ x sum_j a_j U_j(c~), U
//    the Chebyshev polynomials of the second kind, with s~, c~ the vector
//    sincos's results, each within 3.5 ulp <= 3.5u. |U_j| <= j + 1 and
//    |U_j'| <= j (j + 1) (j + 2) / 3 <= 572 on [-1, 1], so the 3.5u error of
//    c~ moves the sum by < 5.35 x 572 x 3.5u < 1.2e-12 and that of s~ by
//    < 5.35 x 12 x 3.5u < 2.5e-14 (the amplitudes sum to at most 5.35, the
//    bell's). Every |b_k| <= 12 x 5.35 < 64, so each step's three roundings
//    are < 3 x 64u, and an error entering at b_k reaches b_1 multiplied by a
//    U of degree < 12: < 78 x 192u < 1.7e-12 over all steps, plus the final
//    product's u x 5.35;
//  - the rotation (no vibrato). A pair evaluated directly at sample i0 is
//    rotated at most 15 times by the angle of S samples (S <= 64), before
//    the next direct evaluation. The step's turns f x S / rate (< 71) are
//    at most two roundings off, < 142u turns < 9e-14 rad, and std::sin and std::cos
//    of it are within u: after 15 steps the angle is < 1.4e-12 off the true
//    2pi f i / rate. Each rotation rounds four products and two sums of
//    terms below 1 (3u per component) and grows the pair's length by at most
//    2u: < 90u on each component after 15. Against the direct evaluation's
//    analysis above this adds one rounding (t's, 1u relative, as x is
//    measured against the exact i / rate) and, harmonic j + 1 <= 12
//    multiplying the angle, < 1.7e-11 to each argument; the 90u on c~ and s~
//    enter the recurrence's terms as the 3.5u did: < 5.35 x 572 x 90u < 3.1e-11;
//  - the envelope. The vector path multiplies by the reciprocals of the
//    phase lengths instead of dividing by them: the quotient, at most 1, is
//    two roundings instead of one away, and the level < 8u from the
//    scalar level; the phase tests are identical;
//  - the sums. The exact sums differ by < 5.35 x 4.3e-10 < 2.3e-9; the
//    scalar path's 2H <= 24 roundings of terms below 8 add < 24 x 4u and the
//    recurrence's < 3e-12: the sums differ by < 2.31e-9;
//  - value = level x (sum / H) x 0.6 x 32767 with level <= 1 and H >= 1:
//    the exact values differ by < 19660.2 x (2.31e-9 + 8u) < 4.55e-5, and
//    the four roundings on each side add at most ulp(32768) / 2 = 3.7e-12
//    each. Without vibrato the argument term is (5u + 1.4u) x 3.35e5 +
//    1.7e-11 < 2.6e-10, the sums < 1.5e-9 apart, the values < 3e-5.
// So |fast - scalar| < 4.6e-5. E = 2^-10 (about 9.8e-4) leaves a margin of
// over 20; samples within E of a nonzero integer
// are about 0.2 % of all. The tests print the largest difference seen over
// every voice, pitch and kernel, and fail if it ever exceeds E / 16.
constexpr double RECHECK_BOUND = 1.0 / 1024.0;

// Writes `count` samples of a note into `out` with the widest vector unit the
// CPU has, recomputing with the scalar path every sample whose fast value
// lies within `recheckBound` of a nonzero integer. Returns false, writing
// nothing, when this build or CPU has no vector path.
bool RenderNoteFast(int16_t* out, int32_t count, int32_t sampleRate, double frequency,
                    double duration, const InstrumentVoice& voice, double recheckBound);

// As RenderNoteFast, with the given kernel (which the CPU must support).
// When `values` is not null it receives every sample's fast value before
// truncation and before any recheck.
void RenderNoteWith(NoteKernel kernel, int16_t* out, int32_t count, int32_t sampleRate,
                    double frequency, double duration, const InstrumentVoice& voice,
                    double recheckBound, double* values = nullptr);

}  // namespace tolvimo

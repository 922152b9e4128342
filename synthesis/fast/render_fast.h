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
// The scalar path: t = i / rate; the envelope level of t; X_j = (((j + 1) x
// f) x t) x 2pi and sum = sum_j a_j std::sin(X_j); value = level x (sum / H)
// x 0.6 x 32767. The vector path: t' = i x (1 / rate); the envelope's phase
// chosen by comparing i with each phase's first index (exactly the scalar
// test on t) and its formula multiplied by reciprocals; w = f x t' turns,
// whole turns k dropped, x = (w - k) x 2pi; sin x and cos x from the vector
// sincos (with vibrato) or, without vibrato, by rotating a pair evaluated
// directly up to 15 strides earlier; sum_j a_j sin((j + 1) x) by Clenshaw's
// recurrence; the mean as a product with 1 / H. With u = 2^-53, a rounding
// moves a result r by at most u|r|, and by at most u when |r| <= 1. The
// presets keep amplitudes in [0, 1] summing to at most 5.36 (and to at most
// their count), at most 12 harmonics, vibrato depth <= 0.03 and rate <= 6 Hz,
// and every nonzero decay and release >= 0.01 s (VOICE_MAX_HARMONICS and the
// limits beside it, checked over the preset table when it compiles). Pitches reach 8869.8 Hz
// (B#8#), so f t < 8869.8 x 1.03 x 0.5 < 4569 turns and |X_j| < 12 x 4569 x 2pi < 3.45e5.
//  - the argument, against the exact (j + 1) f (i / rate) 2pi of each path's
//    own f: X_j is four roundings off (t and three products), w one product
//    and t' two: < 7u relative apart. With vibrato the two f differ too. The
//    vibrato arguments (< 19 rad) are < 57u (scalar) and < 66u (vector: 3u
//    relative, the reduction's 2u and k <= 3 turns of a 2pi 2.3u short)
//    from exact, the sines add 3.5 and 1 ulp: < 128u apart. Times depth
//    0.03, with the products' roundings: < 4u; 1 + (..) rounds once on each
//    side: < 6u, relative to a value >= 0.97 < 6.2u; times the frequency,
//    one rounding each: f differs by < 8.2u relative. The arguments then
//    differ by < 15.5u relative: < 15.5 x 1.12e-16 x 3.45e5 < 6e-10 (7u:
//    < 2.7e-10 without vibrato);
//  - the angle: x is one product, |x| <= pi, off by <= 2u, which harmonic
//    j + 1 <= 12 multiplies to < 2.7e-15; the k (j + 1) whole turns dropped
//    are turns of the double 2pi, 2.5e-16 short of the true one: < 12 x 4569
//    x 2.5e-16 < 1.4e-11;
//  - the rotation: the step's turns f x S / rate (S <= 64 samples, < 71
//    turns) are at most two roundings off, < 9e-14 rad, and std::sin and
//    std::cos of it within u: after 15 steps the angle is < 1.4e-12 off,
//    < 1.7e-11 for harmonic 12. Each rotation rounds four products and two
//    sums below 1 (3u per component) and stretches the pair by <= 2u: the
//    pair is < 90u off after 15;
//  - the sines: std::sin is within 1 ulp (<= u); sin being 1-Lipschitz, each
//    exact sin((j + 1) x) is within 6e-10 + 1.7e-11 + 1.4e-11 + u < 6.4e-10
//    of the scalar path's sine (< 3.1e-10 without vibrato);
//  - the recurrence: its exact result is s~ x sum_j a_j U_j(c~), U the
//    Chebyshev polynomials of the second kind, with s~, c~ the pair, each
//    within 90u (3.5 ulp when direct). |U_j| <= 12 and |U_j'| <= 572 on
//    [-1, 1], so the pair's error moves the sum by < 5.36 x (572 + 12) x 90u
//    < 3.2e-11. Every |b_k| <= 12 x 5.36 < 65: each step's three roundings
//    are < 192u, and an error entering at b_k reaches b_1 multiplied by a U
//    of degree < 12: < 78 x 192u < 1.7e-12 in all, plus the last product's;
//  - the sums: < 5.36 x 6.4e-10 + 3.2e-11 + 1.7e-12 < 3.47e-9 apart, with
//    the scalar path's 24 roundings of terms below 8 (< 96u) included;
//  - the envelope: a reciprocal and t' put the quotient of the attack phase
//    < 6u (relative, level <= 1) and those of decay and release < 150u from
//    the scalar's (|t' - t| <= 1.5u over a length >= 0.01 s), the level
//    < 160u. The mean by 1 / H is < 3u relative further off;
//  - value = level x mean x 0.6 x 32767, level <= 1 and mean <= 1: the exact
//    values differ by < 19660.2 x (3.47e-9 + 160u + 16u) < 6.9e-5, and the
//    four roundings on each side add <= ulp(32768) / 2 = 3.7e-12 each.
// So |fast - scalar| < 7e-5 (< 3.5e-5 without vibrato). E = 2^-10 (about
// 9.8e-4) leaves a margin of 14; samples within E of a nonzero integer are
// about 0.2 % of all. The exhaustive test prints the largest difference seen
// over every voice, pitch, rate and kernel, and fails if it reaches E / 16.
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

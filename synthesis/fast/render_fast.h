// The vector path: several samples at a time, each sample's harmonics from one
// sine-cosine pair of its fundamental, corrected to give exactly the scalar
// path's samples.
#pragma once

#include <cstdint>

#include "synthesis/fast/note_kernels.h"
#include "synthesis/instrument_voice.h"

namespace tolvimo {

// NoteErrorBound(voice, f, rate, n) is a bound B on |fast value - scalar value|
// for every sample's value before truncation over a note of n samples.
// Truncation toward zero changes only at nonzero integers, so a fast value
// farther than B from every nonzero integer truncates as the scalar value
// does; the kernel lists the others and they are recomputed by the scalar
// path. The kernel uses E = RECHECK_MARGIN x B.
//
// u = 2^-53: a rounding moves a result r by at most u|r|, and by at most u
// when |r| <= 1. G = 0.6 x 32767 (19660.2), H harmonics, amplitudes a_j in
// [0, 1] with sum_j a_j <= H (VOICE_MAX_HARMONICS and the limits beside it,
// checked over the preset table when it compiles), t < T = n / rate.
//
// The scalar path: t = i / rate; X_j = (((j + 1) f) t) 2pi_d, with 2pi_d the
// double 6.283185307179586, < 2.45e-16 below 2pi; sum = sum_j a_j sin X_j;
// value = level(t) x (sum / H) x 0.6 x 32767.
// The vector path: t' = i x (1 / rate); w = f x t' turns; sin and cos of
// 2pi w by SinCosTurns (exact reduction to |r| <= 1/8 turn, Taylor series,
// within S = SINCOS_ERROR = 3510u of the true values: derive_sincos.py) or,
// without vibrato, by rotating a pair evaluated that way up to 15 strides
// earlier by the stride's angle (std::sin and std::cos, within 1 ulp, as the
// scalar path assumes of std::sin); with vibrato, the vibrato's sine by such
// a rotation, f' = (1 + D x sin) x f, and w = f' x t'. Then value = (sin x x
// P(cos x)) x level(t') with P = sum_j g_j U_j, g_j = a_j x (G / H), U_j the
// Chebyshev polynomials of the second kind, so that sin x P(cos x) =
// sum_j g_j sin((j + 1) x).
//
// On AVX2 and AVX-512 the multiply-adds of Horner's rule, of the rotations
// and of the vibrato's 1 + D x sin are fused: one rounding where the bounds
// below count two.
//
// Write W = f (1 + D) T for the most turns of the fundamental (D the
// vibrato's depth, 0 without). With M0 = sum_j g_j (j + 1) >= max |P| and
// M1 = sum_j g_j j (j + 1) (j + 2) / 3 >= max |P'| over [-1, 1]:
//  - the frequency: with vibrato, the scalar's argument of the vibrato sine
//    is three roundings from nu (i / rate) 2pi_d, the vector's turns three
//    from nu (i / rate), so they differ by nu T (2.45e-16 + 2pi 6u); the
//    scalar's sine adds 1 ulp, the vector's (a pair rotated like the
//    fundamental's without vibrato, below) epsilon + 15 beta, beta taken at
//    the vibrato's rate: sigma. Times D, rounded (2uD), plus 1 (u on each
//    side), times f (u relative on each side): f differs by rho = (D sigma +
//    2uD + 2u + 2u(1 + D)) / (1 - D) relative (83u for the violin at 0.5 s);
//  - the angle: harmonic j's scalar argument is four roundings from (j + 1) f
//    (i / rate) 2pi_d, the vector's turns three from f (i / rate) and its
//    whole turns dropped exactly; the vector's angle (j + 1) 2pi w is a
//    multiple of turns of the true 2pi. They differ by (j + 1) A with A =
//    W (2.45e-16 + 2pi (7u + rho)). A rotation step (S' <= MAX_STRIDE
//    samples, s = f S' / rate turns) is two roundings from exact, whole turns
//    are dropped exactly, times 2pi_d (< 1.23e-16 short of the true, half a
//    turn at most) and rounded below pi (<= 2u): beta = 2pi 2u s + 1.23e-16 +
//    2u per step, 15 beta added to A after 15 steps. At the top pitch B#8#,
//    8869.844 Hz, at 8000 Hz, s < 71 turns: the two roundings are < 9.9e-14
//    rad, and 15 steps < 1.49e-12 rad with the other two terms;
//  - the sines: std::sin within 1 ulp (<= u); sin is 1-Lipschitz, so the
//    exact sum_j g_j sin((j + 1) x) over the vector's angle is within
//    M0 A + G u of the scalar's sum of rounded sines, scaled;
//  - the pair: the series' error S per component is < 1.4143 S as a vector;
//    each rotation turns that error vector without stretching it (plus 2u),
//    adds the step pair's 1 ulp rotated (sqrt(2) u) and four products and
//    two sums below 1.42 (3.42u as a vector): < 1.4143 S + 15 x 5u = epsilon
//    per component after 15. The pair moves sin x P(cos x) by < epsilon (M0
//    + M1), times (1 + 16 epsilon) as |cos x| may pass 1 by epsilon
//    (|U_j(c)| <= (j + 1) |c|^j there);
//  - the polynomial: the p_k are sums of H products of g_j (three roundings
//    from a_j G / H) with whole numbers, and Horner's rule in cos x rounds
//    2(H - 1) times: < (3H + 1) 1.001u sum_j g_j sum_k |U_j[k]| apart;
//  - the envelope: the phase is chosen by index, so each side uses the same
//    formula; the attack quotients are < 6u apart, and since |t' - t| <=
//    3u T, those of decay and release < 3u T / L + 9u (L the shortest
//    nonzero decay or release, >= 0.01 s): < (10 + 3 T / L) u, times G;
//  - the sums and products: the scalar's sum rounds 2H times below 8 (8u
//    after / H), its value four times, the vector's twice: 15u G with the
//    scalar's sines.
// B = M0 A + epsilon (M0 + M1)(1 + 16 epsilon) + polynomial + G (envelope +
// 15u), times 1.01 for the roundings in computing it. For the bell at its
// top pitch and 192000 Hz: B = 1.4e-6; at A4 and 44100 Hz: 5.2e-7. The
// exhaustive test prints the largest difference seen over every voice, pitch,
// rate and kernel, and fails when a note's reaches E / 16.
constexpr double RECHECK_MARGIN = 16.0;

// The least distance from a nonzero integer below which render_note.cpp
// has a sample recomputed: none beyond each note's own E.
constexpr double RECHECK_BOUND = 0.0;

double NoteErrorBound(const InstrumentVoice& voice, double frequency, int32_t sampleRate,
                      int32_t count);

// E = RECHECK_MARGIN x NoteErrorBound: the distance from a nonzero integer
// within which a sample's fast value is recomputed.
double NoteRecheckBound(const InstrumentVoice& voice, double frequency, int32_t sampleRate,
                        int32_t count);

// Writes `count` samples of a note into `out` with the widest vector kernel
// the CPU has, recomputing with the scalar path every sample whose fast value
// lies within the larger of `recheckBound` and the note's own E of a nonzero
// integer. Returns false, writing nothing, when this build has no vector path.
bool RenderNoteFast(int16_t* out, int32_t count, int32_t sampleRate, double frequency,
                    double duration, const InstrumentVoice& voice, double recheckBound);

// As RenderNoteFast, with the given kernel (which the CPU must support).
// When `values` is not null it receives every sample's fast value before
// truncation and before any recheck.
void RenderNoteWith(const NoteKernel& kernel, int16_t* out, int32_t count, int32_t sampleRate,
                    double frequency, double duration, const InstrumentVoice& voice,
                    double recheckBound, double* values = nullptr);

// The kernels this build and CPU run, narrowest first; returns how many.
int32_t AvailableKernels(const NoteKernel* (&kernels)[3]);

}  // namespace tolvimo

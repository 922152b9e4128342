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
// proof/check_error_bound.py proves the constants B is built from
// (error_bounds.h: the vector sine and cosine, the rotated pair, the
// polynomial, the rotation step beta, the envelope) with Gappa, Sollya and
// exact fractions, and composes the steps between them; its docstring is the
// derivation. What it takes from here, with u = 2^-53, G = 0.6 x 32767, H
// harmonics, g_j = a_j G / H, t < T = n / rate, W = f (1 + D) T the most
// turns of the fundamental (D the vibrato's depth, 0 without), M0 = sum_j g_j
// (j + 1) and M1 = sum_j g_j j (j + 1) (j + 2) / 3:
//  - the frequency: with vibrato, the scalar's argument of the vibrato sine
//    is three roundings from nu (i / rate) 2pi_d, the vector's turns three
//    from nu (i / rate), so they differ by nu T (shortfall + 2pi 6u); the
//    scalar's sine adds 1 ulp, the vector's rotated pair its error plus 15
//    beta at the vibrato's rate: sigma. The scalar bends f to fl(fl(1 +
//    fl(D s)) f), rounding by uD, u (1 + D) and u (1 + D) of f; the vector to
//    fl(fl(D f) w + f), by uD (D f, once a note), uD (the product, unless
//    fused) and u (1 + D) (the sum): each within u (2 + 3D) f of (1 + D s) f
//    or (1 + D w) f, so f differs by rho = (D sigma + 2uD + 4u(1 + D)) /
//    (1 - D) relative;
//  - the angle: harmonic j's scalar argument is four roundings from (j + 1)
//    f (i / rate) 2pi_d, the vector's turns three from f (i / rate), whole
//    turns dropped exactly: they differ by (j + 1) A with A = W (shortfall +
//    2pi (7u + rho)), plus 15 beta after 15 rotations without vibrato; sin is
//    1-Lipschitz, so the sums differ by M0 A;
//  - the envelope: ENVELOPE_ERROR + ENVELOPE_TIME_ERROR T / L (L the
//    shortest nonzero decay or release, and at most 1) times u G (the
//    program's, each voice's decay and release proven on their own);
//  - the sums and products: SUM_ERROR u G (the program's).
// B = M0 A + (e_s M0 + e_c M1)(1 + CHEBYSHEV_SLACK) + POLYNOMIAL_ERROR u
// sum_j g_j sum_k |U_j[k]| + G (envelope + SUM_ERROR u), times 1.01 for the
// roundings in computing it, with e_s and e_c the pair's sine and cosine
// errors (the larger of both orders of SINE_ERROR and COSINE_ERROR, or
// ROTATED_PAIR_ERROR each). The exhaustive test prints the largest
// difference seen over every voice, pitch, rate and kernel, and fails when
// a note's reaches E / 16.
constexpr double RECHECK_MARGIN = 16.0;

// The least distance from a nonzero integer below which render_note.cpp
// has a sample recomputed: none beyond each note's own E.
constexpr double RECHECK_BOUND = 0.0;

// The polynomial P = sum_j g_j U_j that the kernel evaluates in cos x, g_j =
// a_j x ((0.6 x 32767) / H) and U_j the Chebyshev polynomials of the second
// kind, so that sin x P(cos x) = sum_j g_j sin((j + 1) x): coefficients
// lowest power first, as doubles.
void FoldHarmonics(const InstrumentVoice& voice, double (&polynomial)[VOICE_MAX_HARMONICS]);

// The angle by which `frequency` advances over `samples` samples, whole turns
// dropped: the rotation step's, whose sine and cosine the kernels turn by.
double StepAngle(double frequency, int32_t samples, int32_t sampleRate);

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
// truncation and before any recheck; when `substitute` is not null its
// values replace the fast ones before the recheck's test (for tests).
void RenderNoteWith(const NoteKernel& kernel, int16_t* out, int32_t count, int32_t sampleRate,
                    double frequency, double duration, const InstrumentVoice& voice,
                    double recheckBound, double* values = nullptr,
                    const double* substitute = nullptr);

// The job RenderNoteWith hands the kernel for a whole note (values and
// substitute null): what the proof's model of the kernel starts from.
NoteJob NoteJobFor(const NoteKernel& kernel, int32_t count, int32_t sampleRate, double frequency,
                   double duration, const InstrumentVoice& voice, double recheckBound);

// The kernels this build and CPU run, narrowest first; returns how many.
int32_t AvailableKernels(const NoteKernel* (&kernels)[3]);

}  // namespace tolvimo

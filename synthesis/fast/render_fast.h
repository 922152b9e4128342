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
// path. The kernel uses E = RECHECK_MARGIN x B. How B is composed, and what
// proof/check_error_bound.py proves of it: docs/exactness.md ("How
// NoteErrorBound is composed").
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

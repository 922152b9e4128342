// Vector kernels: whole samples of a note, several at a time. One template
// (note_kernel_body.h) compiled once per instruction set.
#pragma once

#include <cstdint>

#include "synthesis/instrument_voice.h"

namespace tolvimo {

// 1.5 x 2^52: see Round in note_kernel_body.h.
constexpr double ROUNDING_SHIFT = 6755399441055744.0;

// Rotations between two direct evaluations of a fixed fundamental's sine and
// cosine, and the most samples any kernel advances in one rotation.
constexpr int32_t ROTATIONS_PER_ANCHOR = 15;
constexpr int32_t MAX_STRIDE = 32;

// A note being rendered.
struct NoteJob {
    const InstrumentVoice* voice;
    double frequency;
    // D x f, rounded (0 without vibrato): how far the vibrato bends the
    // frequency at its peak, so that the kernel bends it with one
    // multiply-add, f + (D x f) x sin.
    double vibratoSwing;
    int32_t sampleRate;
    double recheckBound;  // see NoteRecheckBound
    // The harmonic sum with the gain and the mean folded in, as a
    // polynomial in the fundamental's cosine: value = level x sin x x
    // sum_k mixPolynomial[k] cos^k x, of degree harmonicCount - 1.
    double mixPolynomial[VOICE_MAX_HARMONICS];
    // sin and cos of the fundamental's advance over one stride of the
    // kernel (no vibrato only), and of the vibrato's.
    double stepSine;
    double stepCosine;
    double vibratoStepSine;
    double vibratoStepCosine;
    // The first sample index of the decay, sustain and release phases: the
    // smallest i whose time i / sampleRate is not below the phase's start.
    double decayFrom;
    double sustainFrom;
    double releaseFrom;
    // The release's start in seconds and the reciprocals of the phase
    // lengths, which the envelope multiplies by instead of dividing.
    double releaseStart;
    double perAttack;
    double perDecay;
    double perRelease;
    // When not null, receives each sample's value before truncation, at the
    // same index as in `out`: for measuring the distance to the scalar path.
    double* values;
    // When not null, each sample's value is replaced by this one (same index)
    // before the near-integer test: lets tests push values towards the
    // truncation boundary and watch the recheck catch them.
    const double* substitute;
};

// Writes samples first .. first + count - 1 of the note into out[0 .. count),
// and lists in recheck[] each k whose value before truncation lies within
// job.recheckBound of a nonzero integer (those samples must be recomputed by
// the scalar path). Returns how many it listed; recheck needs room for count.
using RenderSamples = int32_t (*)(const NoteJob& job, int32_t first, int32_t count, int16_t* out,
                                  int32_t* recheck);

// What the proof and the tests need to know of a kernel, taken from the
// template it instantiates (KernelOf in note_kernel_body.h), never restated.
struct NoteKernel {
    const char* name;
    RenderSamples render;
    int32_t lanes;   // doubles a vector
    int32_t group;   // vectors in flight
    int32_t stride;  // samples per rotation step: lanes x group
    bool fused;      // whether its multiply-adds round once
};

// Two lanes: SSE2 on x86, whatever the compiler makes of a pair of doubles
// elsewhere (SIMD128 in WebAssembly).
extern const NoteKernel KERNEL_PAIRS;
#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__) || defined(_M_IX86)
extern const NoteKernel KERNEL_AVX2;
extern const NoteKernel KERNEL_AVX512;
#endif

}  // namespace tolvimo

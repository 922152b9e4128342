// Vector kernels: whole samples of a note, several at a time, with the same
// operations in the same order as the scalar path; only the sines come from
// the vector library.
#pragma once

#include <cstdint>

#include "synthesis/instrument_voice.h"

namespace tolvimo {

// 1.5 x 2^52: see Round in note_kernel_body.h.
constexpr double ROUNDING_SHIFT = 6755399441055744.0;

// A note being rendered.
struct NoteJob {
    const InstrumentVoice* voice;
    double frequency;
    double duration;
    int32_t sampleRate;
    double recheckBound;  // see RECHECK_BOUND
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
};

// Writes samples first .. first + count - 1 of the note into out[0 .. count),
// and lists in recheck[] each k whose value before truncation lies within
// job.recheckBound of a nonzero integer (those samples must be recomputed by
// the scalar path). Returns how many it listed; recheck needs room for count.
using NoteKernel = int32_t (*)(const NoteJob& job, int32_t first, int32_t count, int16_t* out,
                               int32_t* recheck);

#if defined(__x86_64__) || defined(_M_X64)
int32_t RenderSamplesSse2(const NoteJob& job, int32_t first, int32_t count, int16_t* out,
                          int32_t* recheck);
int32_t RenderSamplesAvx2(const NoteJob& job, int32_t first, int32_t count, int16_t* out,
                          int32_t* recheck);
int32_t RenderSamplesAvx512(const NoteJob& job, int32_t first, int32_t count, int16_t* out,
                            int32_t* recheck);
#endif
#if defined(__aarch64__)
// AdvSIMD, which every 64-bit ARM CPU has.
int32_t RenderSamplesAdvsimd(const NoteJob& job, int32_t first, int32_t count, int16_t* out,
                             int32_t* recheck);
#endif

}  // namespace tolvimo

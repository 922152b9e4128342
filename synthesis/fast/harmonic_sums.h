// Vector kernels: the weighted sum of a note's harmonic sines for a run of
// samples, with the same operations in the same order as the scalar path,
// only the sines coming from the vector library.
#pragma once

#include <cstdint>

#include "synthesis/instrument_voice.h"

namespace tolvimo {

// Writes into sums[k] the harmonic sum of sample first + k of the note, for
// k from 0 to count rounded up to a whole number of vectors (sums must have
// room for count + 7 entries).
using HarmonicSumKernel = void (*)(const InstrumentVoice& voice, double frequency,
                                   int32_t sampleRate, int32_t first, int32_t count, double* sums);

void HarmonicSumsSse2(const InstrumentVoice& voice, double frequency, int32_t sampleRate,
                      int32_t first, int32_t count, double* sums);
void HarmonicSumsAvx2(const InstrumentVoice& voice, double frequency, int32_t sampleRate,
                      int32_t first, int32_t count, double* sums);
void HarmonicSumsAvx512(const InstrumentVoice& voice, double frequency, int32_t sampleRate,
                        int32_t first, int32_t count, double* sums);

}  // namespace tolvimo

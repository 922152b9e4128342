// Additive synthesis of one note into a sample buffer.
#pragma once

#include <cstdint>

#include "synthesis/instrument_voice.h"
#include "synthesis/sample_buffer.h"

namespace tolvimo {

constexpr double TWO_PI = 6.283185307179586;
constexpr double OUTPUT_GAIN = 0.6;
constexpr double FULL_SCALE = 32767.0;

// Number of samples a note of `duration` seconds takes: sampleRate x duration,
// truncated.
int32_t NoteSampleCount(int32_t sampleRate, double duration);

// Time of sample `i` in seconds: i / sampleRate.
double SampleTime(int32_t i, int32_t sampleRate);

// The value of sample `i` of a note before truncation to 16 bits: the
// envelope times the mean of the voice's harmonics, times OUTPUT_GAIN and
// FULL_SCALE. Every operation runs in a fixed order, so the result is the
// same on every conforming IEEE double platform with the same sin.
double NoteSampleValue(const InstrumentVoice& voice, double frequency, double duration,
                       int32_t sampleRate, int32_t i);

// The 16-bit sample of a value: truncated toward zero.
int16_t TruncateSample(double value);

// The reference renderer: writes `count` samples of a note into `out`, one
// std::sin per harmonic per sample (plus one for the vibrato).
void RenderNoteScalar(int16_t* out, int32_t count, int32_t sampleRate, double frequency,
                      double duration, const InstrumentVoice& voice);

// Appends NoteSampleCount(buffer.sampleRate, duration) samples of `frequency`
// to the buffer, growing it if needed. Every note starts at phase zero.
// Uses the vector path where the CPU has one; the samples are the scalar
// path's either way. Returns false, leaving the buffer unchanged, when it
// cannot grow.
bool RenderNote(SampleBuffer& buffer, double frequency, double duration,
                const InstrumentVoice& voice);

}  // namespace tolvimo

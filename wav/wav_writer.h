// Writes mono 16-bit linear PCM RIFF WAVE files: the canonical 44-byte
// header, then the samples, all integers little-endian.
#pragma once

#include <cstdint>
#include <cstdio>

namespace tolvimo {

constexpr int32_t WAV_HEADER_SIZE = 44;

// The header for `sampleCount` samples at `sampleRate`, into `header`.
void EncodeWavHeader(uint8_t (&header)[WAV_HEADER_SIZE], int32_t sampleRate, int32_t sampleCount);

// `count` samples, low byte first, into `out` (2 * count bytes).
void EncodeWavSamples(uint8_t* out, const int16_t* samples, int32_t count);

// Writes the header for `sampleCount` samples at `sampleRate`. The sizes are
// final: nothing is patched later. Returns false if the stream refused a byte.
bool WriteWavHeader(std::FILE* file, int32_t sampleRate, int32_t sampleCount);

// Writes `count` samples from `samples`, low byte first; a request writes
// each note this way as soon as it is rendered. Returns false if the stream
// refused a byte.
bool WriteWavSampleArray(std::FILE* file, const int16_t* samples, int32_t count);

}  // namespace tolvimo

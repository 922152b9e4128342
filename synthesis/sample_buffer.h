// The array of 16-bit samples that one note is rendered into: a request
// creates one, sized for a single note, and reuses it for every note.
#pragma once

#include <cstdint>

namespace tolvimo {

struct SampleBuffer {
    int32_t sampleRate;  // samples per second, fixed at creation
    int16_t* samples;    // `capacity` entries allocated
    int32_t count;       // samples rendered so far, never above `capacity`
    int32_t capacity;    // entries `samples` has room for
};

// Room kept beyond what the caller expects, so a small miscount never
// forces a reallocation.
constexpr int32_t GROWTH_MARGIN = 1000;

// Allocates a buffer with room for `expectedSamples` + GROWTH_MARGIN samples.
// Returns nullptr when memory runs out or the size is not representable.
SampleBuffer* CreateSampleBuffer(int32_t sampleRate, int32_t expectedSamples);

// Makes room for `extra` more samples after `count`, growing the capacity to
// count + extra + GROWTH_MARGIN when needed. Returns false, leaving the
// buffer as it was, when memory runs out or the size is not representable.
bool ReserveSamples(SampleBuffer& buffer, int32_t extra);

// Frees `samples`, then the record. Accepts nullptr.
void ReleaseSampleBuffer(SampleBuffer* buffer);

struct SampleBufferReleaser {
    void operator()(SampleBuffer* buffer) const { ReleaseSampleBuffer(buffer); }
};

}  // namespace tolvimo

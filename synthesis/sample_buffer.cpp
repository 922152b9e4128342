#include "synthesis/sample_buffer.h"

#include <cstdlib>
#include <limits>

namespace tolvimo {
namespace {

// Capacity for `needed` samples plus the margin, or -1 if it exceeds int32.
int64_t CapacityFor(int64_t needed) {
    const int64_t capacity = needed + GROWTH_MARGIN;
    if (needed < 0 || capacity > std::numeric_limits<int32_t>::max()) return -1;
    return capacity;
}

}  // namespace

SampleBuffer* CreateSampleBuffer(int32_t sampleRate, int32_t expectedSamples) {
    const int64_t capacity = CapacityFor(expectedSamples);
    if (capacity < 0) return nullptr;
    auto* buffer = static_cast<SampleBuffer*>(std::malloc(sizeof(SampleBuffer)));
    if (buffer == nullptr) return nullptr;
    buffer->samples =
        static_cast<int16_t*>(std::malloc(sizeof(int16_t) * static_cast<size_t>(capacity)));
    if (buffer->samples == nullptr) {
        std::free(buffer);
        return nullptr;
    }
    buffer->sampleRate = sampleRate;
    buffer->count = 0;
    buffer->capacity = static_cast<int32_t>(capacity);
    return buffer;
}

bool ReserveSamples(SampleBuffer& buffer, int32_t extra) {
    const int64_t needed = static_cast<int64_t>(buffer.count) + extra;
    if (extra < 0) return false;
    if (needed <= buffer.capacity) return true;
    const int64_t capacity = CapacityFor(needed);
    if (capacity < 0) return false;
    void* grown = std::realloc(buffer.samples, sizeof(int16_t) * static_cast<size_t>(capacity));
    if (grown == nullptr) return false;
    buffer.samples = static_cast<int16_t*>(grown);
    buffer.capacity = static_cast<int32_t>(capacity);
    return true;
}

void ReleaseSampleBuffer(SampleBuffer* buffer) {
    if (buffer == nullptr) return;
    std::free(buffer->samples);
    std::free(buffer);
}

}  // namespace tolvimo

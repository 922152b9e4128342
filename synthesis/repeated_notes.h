// A note heard again in the same request sounds exactly as before: its
// samples depend only on the frequency, the duration, the voice and the
// sample rate. So the first rendering is copied instead of recomputed.
#pragma once

#include <cstdint>

#include "synthesis/instrument_voice.h"
#include "synthesis/sample_buffer.h"

namespace tolvimo {

// Where each distinct frequency's samples start in one request's buffer.
struct RenderedNotes {
    // The note syntax spells only 223 distinct pitches, so every pitch of a
    // request fits with room to spare.
    static constexpr int32_t CAPACITY = 1024;
    uint64_t frequencyBits[CAPACITY];
    int32_t offset[CAPACITY];
    int32_t count;
};

// Appends a note of `frequency` to the buffer: a copy of an earlier note of a
// bit-identical frequency (and the same duration, voice and buffer, which the
// caller keeps fixed for `notes`), else a new rendering, which is then
// remembered while there is room. Returns false, leaving the buffer
// unchanged, when it cannot grow.
bool RenderOrRepeatNote(SampleBuffer& buffer, RenderedNotes& notes, double frequency,
                        double duration, const InstrumentVoice& voice);

}  // namespace tolvimo

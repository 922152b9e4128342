// A note heard again in the same request sounds exactly as before: its
// samples depend only on the frequency, the duration, the voice and the
// sample rate. So a bounded store keeps the notes that recur soonest and
// hands their samples out again instead of recomputing them.
#pragma once

#include <cstdint>

#include "synthesis/instrument_voice.h"
#include "synthesis/sample_buffer.h"

namespace tolvimo {

// A nextUse for a note whose pitch does not come again in the request.
constexpr int32_t NO_NEXT_USE = INT32_MAX;

// The bits of a frequency: notes are the same only when these are, since
// two equal doubles (0.0 and -0.0) need not render alike.
uint64_t FrequencyBits(double frequency);

// Links each of `count` notes to the next note of the bit-identical
// frequency: nextUse[i] is its index, or NO_NEXT_USE. Returns how many notes
// recur, which sizes the store. This is the schedule the store keeps to.
int32_t ScheduleRepeats(const double* frequency, int32_t count, int32_t* nextUse);

// Rendered notes of one request, all of the same length, voice and rate.
struct RenderedNotes {
    // At most this many notes, and at most SAMPLE_BUDGET samples (2 MB) in
    // all, so memory stays flat whatever the request.
    static constexpr int32_t MAX_NOTES = 256;
    static constexpr int64_t SAMPLE_BUDGET = int64_t{1} << 20;
    int16_t* samples;  // `slots` notes of `noteSamples` each
    int32_t noteSamples;
    int32_t slots;
    uint64_t frequencyBits[MAX_NOTES];
    int32_t nextUse[MAX_NOTES];  // NO_NEXT_USE: the slot is free
};

// A store for notes of `noteSamples` samples with room for `wanted` of them,
// or fewer within the budget. Returns nullptr when memory runs out.
RenderedNotes* CreateRenderedNotes(int32_t noteSamples, int32_t wanted);

void ReleaseRenderedNotes(RenderedNotes* notes);

struct RenderedNotesReleaser {
    void operator()(RenderedNotes* notes) const { ReleaseRenderedNotes(notes); }
};

// The samples of a note of `frequency`: the stored ones when the store
// holds that exact frequency, else a new rendering into `buffer` (emptied
// first). `nextUse` is the index of the next note of the same frequency in
// the request, or NO_NEXT_USE; the store keeps the notes needed soonest.
// The result stays valid until the next call. Returns nullptr when the
// buffer cannot hold the note.
const int16_t* RenderOrRepeatNote(SampleBuffer& buffer, RenderedNotes& notes, double frequency,
                                  int32_t nextUse, double duration, const InstrumentVoice& voice);

}  // namespace tolvimo

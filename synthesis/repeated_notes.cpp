#include "synthesis/repeated_notes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "synthesis/render_note.h"

namespace tolvimo {
namespace {

int16_t* Slot(RenderedNotes& notes, int32_t slot) {
    return notes.samples + static_cast<size_t>(slot) * static_cast<size_t>(notes.noteSamples);
}

// The slot a note needed at `nextUse` should take: a free one, else the one
// needed last, if that is later than `nextUse`; -1 when none should.
int32_t SlotToFill(const RenderedNotes& notes, int32_t nextUse) {
    int32_t latest = -1;
    for (int32_t k = 0; k < notes.slots; ++k) {
        if (notes.nextUse[k] == NO_NEXT_USE) return k;
        if (latest < 0 || notes.nextUse[k] > notes.nextUse[latest]) latest = k;
    }
    return latest >= 0 && notes.nextUse[latest] > nextUse ? latest : -1;
}

}  // namespace

uint64_t FrequencyBits(double frequency) {
    // memcpy rather than std::bit_cast, which the WebAssembly toolchain's
    // standard library lacks.
    uint64_t bits = 0;
    static_assert(sizeof bits == sizeof frequency);
    std::memcpy(&bits, &frequency, sizeof bits);
    return bits;
}

int32_t ScheduleRepeats(const double* frequency, int32_t count, int32_t* nextUse) {
    // Bit-identical frequencies, not equal ones: the repeat must render to
    // the same samples. At most MAX_NOTES notes (request_limits.h), so a
    // quadratic scan is cheap.
    int32_t recurring = 0;
    for (int32_t i = 0; i < count; ++i) {
        nextUse[i] = NO_NEXT_USE;
        for (int32_t j = i + 1; j < count; ++j) {
            if (FrequencyBits(frequency[i]) == FrequencyBits(frequency[j])) {
                nextUse[i] = j;
                ++recurring;
                break;
            }
        }
    }
    return recurring;
}

RenderedNotes* CreateRenderedNotes(int32_t noteSamples, int32_t wanted) {
    auto* notes = static_cast<RenderedNotes*>(std::malloc(sizeof(RenderedNotes)));
    if (notes == nullptr) return nullptr;
#if defined(TOLVIMO_RENDER_EVERY_NOTE)
    // The direct renderer the optimisations are measured against: a store
    // with no room renders every note.
    wanted = 0;
#endif
    const int64_t budget = noteSamples > 0 ? RenderedNotes::SAMPLE_BUDGET / noteSamples : 0;
    notes->slots = static_cast<int32_t>(
        std::min<int64_t>({budget, int64_t{wanted}, int64_t{RenderedNotes::MAX_NOTES}}));
    notes->slots = std::max(notes->slots, 0);
    notes->noteSamples = noteSamples;
    notes->samples = nullptr;
    std::fill(notes->nextUse, notes->nextUse + RenderedNotes::MAX_NOTES, NO_NEXT_USE);
    if (notes->slots > 0) {
        notes->samples =
            static_cast<int16_t*>(std::malloc(sizeof(int16_t) * static_cast<size_t>(notes->slots) *
                                              static_cast<size_t>(noteSamples)));
        if (notes->samples == nullptr) {
            std::free(notes);
            return nullptr;
        }
    }
    return notes;
}

void ReleaseRenderedNotes(RenderedNotes* notes) {
    if (notes == nullptr) return;
    std::free(notes->samples);
    std::free(notes);
}

const int16_t* RenderOrRepeatNote(SampleBuffer& buffer, RenderedNotes& notes, double frequency,
                                  int32_t nextUse, double duration, const InstrumentVoice& voice) {
    const uint64_t bits = FrequencyBits(frequency);
    for (int32_t k = 0; k < notes.slots; ++k) {
        if (notes.nextUse[k] == NO_NEXT_USE || notes.frequencyBits[k] != bits) continue;
        notes.nextUse[k] = nextUse;  // frees the slot after its last use
        return Slot(notes, k);
    }
    buffer.count = 0;
    if (!RenderNote(buffer, frequency, duration, voice)) return nullptr;
    const int32_t slot = nextUse == NO_NEXT_USE || buffer.count != notes.noteSamples
                             ? -1
                             : SlotToFill(notes, nextUse);
    if (slot >= 0) {
        std::memcpy(Slot(notes, slot), buffer.samples,
                    sizeof(int16_t) * static_cast<size_t>(notes.noteSamples));
        notes.frequencyBits[slot] = bits;
        notes.nextUse[slot] = nextUse;
    }
    return buffer.samples;
}

}  // namespace tolvimo

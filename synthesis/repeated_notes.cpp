#include "synthesis/repeated_notes.h"

#include <cstring>

#include "synthesis/render_note.h"

namespace tolvimo {

bool RenderOrRepeatNote(SampleBuffer& buffer, RenderedNotes& notes, double frequency,
                        double duration, const InstrumentVoice& voice) {
#if defined(TOLVIMO_RENDER_EVERY_NOTE)
    (void)notes;
    return RenderNote(buffer, frequency, duration, voice);
#else
    // The frequency's bits (memcpy rather than std::bit_cast, which the
    // WebAssembly toolchain's standard library lacks).
    uint64_t bits = 0;
    static_assert(sizeof bits == sizeof frequency);
    std::memcpy(&bits, &frequency, sizeof bits);
    for (int32_t k = 0; k < notes.count; ++k) {
        if (notes.frequencyBits[k] != bits) continue;
        const int32_t n = NoteSampleCount(buffer.sampleRate, duration);
        if (n < 0 || !ReserveSamples(buffer, n)) return false;
        std::memcpy(buffer.samples + buffer.count, buffer.samples + notes.offset[k],
                    sizeof(int16_t) * static_cast<size_t>(n));
        buffer.count += n;
        return true;
    }
    const int32_t offset = buffer.count;
    if (!RenderNote(buffer, frequency, duration, voice)) return false;
    if (notes.count < RenderedNotes::CAPACITY) {
        notes.frequencyBits[notes.count] = bits;
        notes.offset[notes.count] = offset;
        ++notes.count;
    }
    return true;
#endif
}

}  // namespace tolvimo

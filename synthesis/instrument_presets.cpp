#include "synthesis/instrument_presets.h"

#include <cstdlib>

namespace tolvimo {

void ReleaseVoice(InstrumentVoice* voice) {
    if (voice == nullptr) return;
    std::free(voice->harmonics);
    std::free(voice);
}

InstrumentVoice* CreateVoice(uint32_t kind) {
    if (kind >= INSTRUMENT_KIND_COUNT) return nullptr;
    auto* voice = static_cast<InstrumentVoice*>(std::malloc(sizeof(InstrumentVoice)));
    if (voice == nullptr) return nullptr;

    const Preset& row = PRESETS[kind];
    voice->attack = row.attack;
    voice->decay = row.decay;
    voice->sustain = row.sustain;
    voice->release = row.release;
    voice->harmonicCount = row.harmonicCount;
    voice->harmonics =
        static_cast<double*>(std::malloc(sizeof(double) * static_cast<size_t>(row.harmonicCount)));
    if (voice->harmonics == nullptr) {
        std::free(voice);
        return nullptr;
    }
    for (int32_t i = 0; i < row.harmonicCount; ++i) {
        voice->harmonics[i] = PresetAmplitude(row, i);
    }
    voice->vibratoEnabled = row.vibrato ? 1 : 0;
    voice->vibratoDepth = row.vibrato ? row.vibratoDepth : 0.0;
    voice->vibratoRate = row.vibrato ? row.vibratoRate : 0.0;
    return voice;
}

}  // namespace tolvimo

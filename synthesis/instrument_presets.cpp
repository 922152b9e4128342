#include "synthesis/instrument_presets.h"

#include <cstdlib>

namespace tolvimo {
namespace {

constexpr int MAX_HARMONICS = 12;

// A preset row. With `harmonicSeries` set, `amplitudes` is unused: harmonic n
// gets 1/n, computed by double division when the voice is built.
struct Preset {
    double attack;
    double decay;
    double sustain;
    double release;
    int32_t harmonicCount;
    bool harmonicSeries;
    double amplitudes[MAX_HARMONICS];
    bool vibrato;
    double vibratoDepth;
    double vibratoRate;
};

// clang-format off
constexpr Preset PRESETS[INSTRUMENT_KIND_COUNT] = {
    //  attack decay sustain release count series amplitudes                         vibrato depth  rate
    {0.01,  0.15, 0.6,  0.15, 8,  false, {1.0, 0.5, 0.33, 0.25, 0.2, 0.167, 0.143, 0.125}, false, 0,     0},    // piano
    {0.05,  0.1,  0.8,  0.2,  4,  false, {1.0, 0.4, 0.2, 0.1},                           false, 0,     0},    // synth
    {0.001, 0.08, 0.0,  0.0,  3,  false, {1.0, 0.3, 0.1},                                false, 0,     0},    // drum
    {0.08,  0.05, 0.85, 0.1,  5,  false, {1.0, 0.3, 0.15, 0.1, 0.05},                    true,  0.02,  5.5},  // flute
    {0.12,  0.08, 0.75, 0.2,  10, true,  {},                                             true,  0.015, 6.0},  // violin
    {0.03,  0.0,  1.0,  0.05, 6,  false, {1.0, 0.8, 0.6, 0.4, 0.2, 0.1},                 false, 0,     0},    // organ
    {0.01,  1.5,  0.2,  0.5,  12, false, {1.0, 0.7, 0.9, 0.5, 0.3, 0.6,
                                          0.2, 0.4, 0.15, 0.3, 0.1, 0.2},                false, 0,     0},    // bell
    {0.003, 0.3,  0.3,  0.2,  9,  false, {1.0, 0.8, 0.6, 0.5, 0.3, 0.25, 0.15, 0.1, 0.05}, false, 0,   0},    // guitar
    {0.04,  0.05, 0.9,  0.08, 8,  false, {0.8, 1.0, 0.9, 0.7, 0.5, 0.3, 0.2, 0.1},       true,  0.01,  5.0},  // trumpet
    {0.001, 0.05, 0.3,  0.1,  7,  false, {1.0, 0.7, 0.5, 0.3, 0.2, 0.15, 0.1},           false, 0,     0},    // harpsichord
    {0.002, 0.15, 0.1,  0.05, 10, true,  {},                                             false, 0,     0},    // glockenspiel
    {0.05,  0.0,  1.0,  0.15, 2,  false, {1.0, 0.1},                                     true,  0.03,  4.0},  // theremin
    {0.06,  0.08, 0.8,  0.12, 7,  false, {1.0, 0.6, 0.4, 0.3, 0.2, 0.15, 0.1},           true,  0.012, 5.5},  // oboe
    {0.02,  0.12, 0.7,  0.15, 6,  false, {1.0, 0.4, 0.2, 0.15, 0.1, 0.05},               false, 0,     0},    // bass
    {0.005, 0.2,  0.4,  0.1,  5,  false, {1.0, 0.6, 0.3, 0.2, 0.1},                      false, 0,     0},    // epiano
};
// clang-format on

}  // namespace

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
        voice->harmonics[i] =
            row.harmonicSeries ? 1.0 / static_cast<double>(i + 1) : row.amplitudes[i];
    }
    voice->vibratoEnabled = row.vibrato ? 1 : 0;
    voice->vibratoDepth = row.vibrato ? row.vibratoDepth : 0.0;
    voice->vibratoRate = row.vibrato ? row.vibratoRate : 0.0;
    return voice;
}

}  // namespace tolvimo

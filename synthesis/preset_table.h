// The instrument voices, each row with its name. The request's name
// lookup, the instrument count, the command-line host's --list and the
// catalogue the bindings and documentation are made from all read this
// table. A row is checked below against the limits of instrument_voice.h
// when it compiles; the vector path's error constants (fast/error_bounds.h)
// are proven for these rows by `ctest -L proof`, which names the voice and
// the constant to raise when a new row needs more room. A new voice also
// needs its picture (docs/draw_voices.py) and its row in the README's voice
// table, the manual page and the golden digests; the test workflow names
// each one missing.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>

#include "synthesis/instrument_voice.h"

namespace tolvimo {

constexpr int32_t MAX_PRESET_HARMONICS = VOICE_MAX_HARMONICS;

// A preset row. With `harmonicSeries` set, `amplitudes` is unused: harmonic n
// gets 1/n, computed by double division when the voice is built.
struct Preset {
    const char* name;
    double attack;
    double decay;
    double sustain;
    double release;
    int32_t harmonicCount;
    bool harmonicSeries;
    double amplitudes[MAX_PRESET_HARMONICS];
    bool vibrato;
    double vibratoDepth;
    double vibratoRate;
};

// clang-format off
inline constexpr Preset PRESETS[] = {
    // name            attack decay sustain release count series amplitudes                       vibrato depth  rate
    {"piano",          0.01,  0.15, 0.6,  0.15, 8,  false, {1.0, 0.5, 0.33, 0.25, 0.2, 0.167, 0.143, 0.125}, false, 0,     0},
    {"synth",          0.05,  0.1,  0.8,  0.2,  4,  false, {1.0, 0.4, 0.2, 0.1},                           false, 0,     0},
    {"drum",           0.001, 0.08, 0.0,  0.0,  3,  false, {1.0, 0.3, 0.1},                                false, 0,     0},
    {"flute",          0.08,  0.05, 0.85, 0.1,  5,  false, {1.0, 0.3, 0.15, 0.1, 0.05},                    true,  0.02,  5.5},
    {"violin",         0.12,  0.08, 0.75, 0.2,  10, true,  {},                                             true,  0.015, 6.0},
    {"organ",          0.03,  0.0,  1.0,  0.05, 6,  false, {1.0, 0.8, 0.6, 0.4, 0.2, 0.1},                 false, 0,     0},
    {"bell",           0.01,  1.5,  0.2,  0.5,  12, false, {1.0, 0.7, 0.9, 0.5, 0.3, 0.6,
                                                            0.2, 0.4, 0.15, 0.3, 0.1, 0.2},                false, 0,     0},
    {"guitar",         0.003, 0.3,  0.3,  0.2,  9,  false, {1.0, 0.8, 0.6, 0.5, 0.3, 0.25, 0.15, 0.1, 0.05}, false, 0,   0},
    {"trumpet",        0.04,  0.05, 0.9,  0.08, 8,  false, {0.8, 1.0, 0.9, 0.7, 0.5, 0.3, 0.2, 0.1},       true,  0.01,  5.0},
    {"harpsichord",    0.001, 0.05, 0.3,  0.1,  7,  false, {1.0, 0.7, 0.5, 0.3, 0.2, 0.15, 0.1},           false, 0,     0},
    {"glockenspiel",   0.002, 0.15, 0.1,  0.05, 10, true,  {},                                             false, 0,     0},
    {"theremin",       0.05,  0.0,  1.0,  0.15, 2,  false, {1.0, 0.1},                                     true,  0.03,  4.0},
    {"oboe",           0.06,  0.08, 0.8,  0.12, 7,  false, {1.0, 0.6, 0.4, 0.3, 0.2, 0.15, 0.1},           true,  0.012, 5.5},
    {"bass",           0.02,  0.12, 0.7,  0.15, 6,  false, {1.0, 0.4, 0.2, 0.15, 0.1, 0.05},               false, 0,     0},
    {"epiano",         0.005, 0.2,  0.4,  0.1,  5,  false, {1.0, 0.6, 0.3, 0.2, 0.1},                      false, 0,     0},
};
// clang-format on

// Instrument numbers run from 0 to INSTRUMENT_KIND_COUNT - 1 in table order.
constexpr uint32_t INSTRUMENT_KIND_COUNT = static_cast<uint32_t>(std::size(PRESETS));

// Amplitude of harmonic `index` (0 is the fundamental) of a row.
constexpr double PresetAmplitude(const Preset& row, int32_t index) {
    return row.harmonicSeries ? 1.0 / static_cast<double>(index + 1) : row.amplitudes[index];
}

// Each limit a row can break has a function named for it, declared and never
// defined: a row that breaks one calls it while the table is checked at
// compile time, and the compiler's error names the function and the row
// (PresetRowKeepsVoiceLimits<N>, RowKeepsVoiceLimits(PRESETS[N]), N counted
// from 0).
namespace broken_voice_limit {
void harmonic_count_outside_1_to_VOICE_MAX_HARMONICS();
void amplitude_outside_0_to_1();
void amplitudes_add_up_beyond_VOICE_MAX_AMPLITUDE_SUM();
void amplitudes_add_up_beyond_harmonicCount();
void attack_not_positive();
void sustain_outside_0_to_1();
void decay_shorter_than_VOICE_MIN_PHASE_LENGTH();
void release_shorter_than_VOICE_MIN_PHASE_LENGTH();
void vibrato_depth_outside_0_to_VOICE_MAX_VIBRATO_DEPTH();
void vibrato_rate_outside_0_to_VOICE_MAX_VIBRATO_RATE();
}  // namespace broken_voice_limit

// True when the row keeps every promise of VOICE_MAX_HARMONICS and the
// limits beside it; in a constant expression, a broken one is a compile
// error naming it.
constexpr bool RowKeepsVoiceLimits(const Preset& row) {
    using namespace broken_voice_limit;
    if (row.harmonicCount < 1 || row.harmonicCount > VOICE_MAX_HARMONICS) {
        harmonic_count_outside_1_to_VOICE_MAX_HARMONICS();
        return false;
    }
    double sum = 0.0;
    for (int32_t j = 0; j < row.harmonicCount; ++j) {
        const double amplitude = PresetAmplitude(row, j);
        if (!(amplitude >= 0.0 && amplitude <= 1.0)) {
            amplitude_outside_0_to_1();
            return false;
        }
        sum += amplitude;
    }
    const struct {
        bool broken;
        void (*name)();
    } limits[] = {
        {sum > VOICE_MAX_AMPLITUDE_SUM, amplitudes_add_up_beyond_VOICE_MAX_AMPLITUDE_SUM},
        {sum > static_cast<double>(row.harmonicCount), amplitudes_add_up_beyond_harmonicCount},
        {!(row.attack > 0.0), attack_not_positive},
        {!(row.sustain >= 0.0 && row.sustain <= 1.0), sustain_outside_0_to_1},
        {row.decay != 0.0 && !(row.decay >= VOICE_MIN_PHASE_LENGTH),
         decay_shorter_than_VOICE_MIN_PHASE_LENGTH},
        {row.release != 0.0 && !(row.release >= VOICE_MIN_PHASE_LENGTH),
         release_shorter_than_VOICE_MIN_PHASE_LENGTH},
        {row.vibrato && !(row.vibratoDepth >= 0.0 && row.vibratoDepth <= VOICE_MAX_VIBRATO_DEPTH),
         vibrato_depth_outside_0_to_VOICE_MAX_VIBRATO_DEPTH},
        {row.vibrato && !(row.vibratoRate >= 0.0 && row.vibratoRate <= VOICE_MAX_VIBRATO_RATE),
         vibrato_rate_outside_0_to_VOICE_MAX_VIBRATO_RATE},
    };
    const auto* broken = std::find_if(std::begin(limits), std::end(limits),
                                      [](const auto& limit) { return limit.broken; });
    if (broken == std::end(limits)) return true;
    broken->name();
    return false;
}

template <size_t N>
constexpr bool PresetRowKeepsVoiceLimits = RowKeepsVoiceLimits(PRESETS[N]);

template <size_t... N>
constexpr bool EveryPresetKeepsVoiceLimits(std::index_sequence<N...>) {
    return (PresetRowKeepsVoiceLimits<N> && ...);
}

static_assert(EveryPresetKeepsVoiceLimits(std::make_index_sequence<std::size(PRESETS)>()),
              "a preset row breaks a voice limit of instrument_voice.h: the error above names "
              "the limit (broken_voice_limit::) and the row (PRESETS[N], from 0)");

}  // namespace tolvimo

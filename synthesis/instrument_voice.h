// How one instrument sounds: ADSR envelope, harmonic amplitudes, vibrato.
#pragma once

#include <cstdint>

namespace tolvimo {

// Limits every voice keeps, checked over the preset table at compile time.
// The renderer relies on them: with amplitudes in [0, 1] whose mean is at most
// 1 and a level at most 1, every sample's value lies within +-0.6 x 32767 =
// +-19660.2 (OUTPUT_GAIN x FULL_SCALE, a few ulps more once rounded), so
// within +-19660 once truncated, far from the int16 limits where the scalar
// cast would wrap and the vector store would saturate. The bound beside
// RECHECK_BOUND, which keeps the vector path's bytes equal to the scalar
// path's, assumes every limit below, but they are not all it needs: its
// constants in fast/error_bounds.h are proven for the preset rows
// themselves, and a new row within these limits may still need one raised.
// `ctest -L proof` (proof_error_bound) then fails, naming the voice and the
// constant.
constexpr int32_t VOICE_MAX_HARMONICS = 12;
// The bell's amplitudes add up to 5.35 (5.3500000000000005 in doubles).
constexpr double VOICE_MAX_AMPLITUDE_SUM = 5.36;  // and at most harmonicCount
constexpr double VOICE_MAX_VIBRATO_DEPTH = 0.03;
constexpr double VOICE_MAX_VIBRATO_RATE = 6.0;  // Hz
// A nonzero decay or release lasts at least this long (seconds).
constexpr double VOICE_MIN_PHASE_LENGTH = 0.01;

struct InstrumentVoice {
    double attack;           // seconds of the rise from 0 to full level
    double decay;            // seconds of the fall from full level to sustain
    double sustain;          // level held after the decay, 0.0 to 1.0
    double release;          // seconds of the fade, counted back from the note's end
    int32_t harmonicCount;   // entries in `harmonics`, at least 1
    double* harmonics;       // amplitude of harmonic 1 (the fundamental), 2, 3, ...
    int32_t vibratoEnabled;  // nonzero: the frequency wobbles
    double vibratoDepth;     // relative depth: 0.015 is plus or minus 1.5 per cent
    double vibratoRate;      // vibrato frequency in Hz
};

// Frees `harmonics`, then the record. Accepts nullptr.
void ReleaseVoice(InstrumentVoice* voice);

struct VoiceReleaser {
    void operator()(InstrumentVoice* voice) const { ReleaseVoice(voice); }
};

}  // namespace tolvimo

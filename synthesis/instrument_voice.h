// How one instrument sounds: ADSR envelope, harmonic amplitudes, vibrato.
#pragma once

#include <cstdint>

namespace tolvimo {

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

#include "synthesis/render_note.h"

#include <cmath>

#include "synthesis/envelope.h"

namespace tolvimo {

int32_t NoteSampleCount(int32_t sampleRate, double duration) {
    return static_cast<int32_t>(static_cast<double>(sampleRate) * duration);
}

double NoteSampleValue(const InstrumentVoice& voice, double frequency, double duration,
                       int32_t sampleRate, int32_t i) {
    const double t = static_cast<double>(i) / static_cast<double>(sampleRate);
    double f = frequency;
    if (voice.vibratoEnabled != 0) {
        // The vibrato bends the frequency that multiplies t; no phase is
        // accumulated, so each sample depends on t alone.
        f = (1.0 + voice.vibratoDepth * std::sin(voice.vibratoRate * t * TWO_PI)) * frequency;
    }
    double sum = 0.0;
    for (int32_t j = 0; j < voice.harmonicCount; ++j) {
        sum = sum + voice.harmonics[j] * std::sin(static_cast<double>(j + 1) * f * t * TWO_PI);
    }
    const double mix = sum / static_cast<double>(voice.harmonicCount);
    const double level = EnvelopeLevel(t, voice, duration);
    return level * mix * OUTPUT_GAIN * FULL_SCALE;
}

bool RenderNote(SampleBuffer& buffer, double frequency, double duration,
                const InstrumentVoice& voice) {
    const int32_t n = NoteSampleCount(buffer.sampleRate, duration);
    if (n < 0 || !ReserveSamples(buffer, n)) return false;
    int16_t* out = buffer.samples + buffer.count;
    for (int32_t i = 0; i < n; ++i) {
        // Truncation toward zero; every value lies within +-19660.
        out[i] = static_cast<int16_t>(static_cast<int32_t>(
            NoteSampleValue(voice, frequency, duration, buffer.sampleRate, i)));
    }
    buffer.count += n;
    return true;
}

}  // namespace tolvimo

#include "synthesis/render_note.h"

#include <cmath>

#include "synthesis/envelope.h"
#include "synthesis/fast/render_fast.h"

namespace tolvimo {

int32_t NoteSampleCount(int32_t sampleRate, double duration) {
    return static_cast<int32_t>(static_cast<double>(sampleRate) * duration);
}

double SampleTime(int32_t i, int32_t sampleRate) {
    return static_cast<double>(i) / static_cast<double>(sampleRate);
}

double NoteSampleValue(const InstrumentVoice& voice, double frequency, double duration,
                       int32_t sampleRate, int32_t i) {
    const double t = SampleTime(i, sampleRate);
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

int16_t TruncateSample(double value) {
    // Toward zero; every value lies within +-19660.2 (instrument_voice.h), so
    // every sample within +-19660.
    return static_cast<int16_t>(static_cast<int32_t>(value));
}

void RenderNoteScalar(int16_t* out, int32_t count, int32_t sampleRate, double frequency,
                      double duration, const InstrumentVoice& voice) {
    for (int32_t i = 0; i < count; ++i) {
        out[i] = TruncateSample(NoteSampleValue(voice, frequency, duration, sampleRate, i));
    }
}

bool RenderNote(SampleBuffer& buffer, double frequency, double duration,
                const InstrumentVoice& voice) {
    const int32_t n = NoteSampleCount(buffer.sampleRate, duration);
    if (n < 0 || !ReserveSamples(buffer, n)) return false;
    int16_t* out = buffer.samples + buffer.count;
    if (!RenderNoteFast(out, n, buffer.sampleRate, frequency, duration, voice, RECHECK_BOUND)) {
        RenderNoteScalar(out, n, buffer.sampleRate, frequency, duration, voice);
    }
    buffer.count += n;
    return true;
}

}  // namespace tolvimo

#include "synthesis/envelope.h"

namespace tolvimo {

double EnvelopeLevel(double t, const InstrumentVoice& voice, double duration) {
    if (t < voice.attack) return t / voice.attack;
    if (t < voice.attack + voice.decay) {
        const double drop = 1.0 - voice.sustain;
        const double progress = (t - voice.attack) / voice.decay;
        return 1.0 - drop * progress;
    }
    const double releaseStart = duration - voice.release;
    if (t < releaseStart) return voice.sustain;
    return (1.0 - (t - releaseStart) / voice.release) * voice.sustain;
}

}  // namespace tolvimo

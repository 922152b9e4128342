#include "synthesis/envelope.h"

#include <gtest/gtest.h>

#include <memory>

#include "named_voice.h"

namespace tolvimo {
namespace {

struct LevelCase {
    const char* voice;
    double t;
    double level;
};

// Phase boundaries of the presets in a 0.5 s note.
TEST(EnvelopeLevel, FollowsEachPhaseAcrossItsBoundaries) {
    const LevelCase cases[] = {
        {"piano", 0.0, 0.0},              // start of attack
        {"piano", 0.005, 0.5},            // mid attack
        {"piano", 0.01, 1.0},             // t == attack is already decay, from 1.0
        {"piano", 0.16, 0.6},             // end of decay: sustain
        {"piano", 0.35, 0.6},             // release starts at 0.5 - 0.15
        {"piano", 0.425, 0.3},            // half-way through release
        {"drum", 0.081, 0.0},             // drum: silent after attack + decay
        {"drum", 0.4999, 0.0},            // drum: never reaches its zero-length release
        {"organ", 0.03, 1.0},             // organ: zero decay goes straight to sustain
        {"theremin", 0.05, 1.0},          // theremin likewise
        {"bell", 0.5, 0.7386666666},      // bell: still decaying at the note's end
        {"guitar", 0.302, 0.3023333333},  // guitar: still decaying past releaseStart 0.3
        {"guitar", 0.31, 0.285},          // ... then releases from the decay's end level
        {"guitar", 0.4015, 0.14775},      // ... and halves half-way to the end
    };
    for (const auto& c : cases) {
        const VoicePtr voice = NamedVoice(c.voice);
        ASSERT_TRUE(voice);
        EXPECT_NEAR(EnvelopeLevel(c.t, *voice, 0.5), c.level, 1e-6) << c.voice << " t " << c.t;
    }
}

}  // namespace
}  // namespace tolvimo

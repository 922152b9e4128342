#include "synthesis/envelope.h"

#include <gtest/gtest.h>

#include <memory>

#include "synthesis/instrument_presets.h"

namespace tolvimo {
namespace {

struct LevelCase {
    uint32_t kind;
    double t;
    double level;
};

// Phase boundaries of the presets in a 0.5 s note.
TEST(EnvelopeLevel, FollowsEachPhaseAcrossItsBoundaries) {
    const LevelCase cases[] = {
        {0, 0.0, 0.0},             // start of attack
        {0, 0.005, 0.5},           // mid attack
        {0, 0.01, 1.0},            // t == attack is already decay, from 1.0
        {0, 0.16, 0.6},            // end of decay: sustain
        {0, 0.35, 0.6},            // release starts at 0.5 - 0.15
        {0, 0.425, 0.3},           // half-way through release
        {2, 0.081, 0.0},           // drum: silent after attack + decay
        {2, 0.4999, 0.0},          // drum: never reaches its zero-length release
        {5, 0.03, 1.0},            // organ: zero decay goes straight to sustain
        {11, 0.05, 1.0},           // theremin likewise
        {6, 0.5, 0.7386666666},    // bell: still decaying at the note's end
        {7, 0.302, 0.3023333333},  // guitar: still decaying past releaseStart 0.3
        {7, 0.31, 0.285},          // ... then releases from the decay's end level
        {7, 0.4015, 0.14775},      // ... and halves half-way to the end
    };
    for (const auto& c : cases) {
        const std::unique_ptr<InstrumentVoice, VoiceReleaser> voice(CreateVoice(c.kind));
        ASSERT_TRUE(voice);
        EXPECT_NEAR(EnvelopeLevel(c.t, *voice, 0.5), c.level, 1e-6)
            << "kind " << c.kind << " t " << c.t;
    }
}

}  // namespace
}  // namespace tolvimo

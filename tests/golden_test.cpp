// Digests of every instrument's samples on one phrase with accidentals and
// octaves. They were checked against an independent renderer and pin the
// arithmetic: any change in a single sample shows here.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>

#include "synthesis/preset_table.h"
#include "test_support.h"

namespace tolvimo_test {
namespace {

constexpr const char* PHRASE = "C#4Bb3A5Eb2G#6F0D8bB";

struct Golden {
    const char* instrument;
    uint64_t at8000;
    uint64_t at8001;
    uint64_t at44100;
};

constexpr Golden GOLDEN[] = {
#include "golden_digests.inc"
};

// A voice added to the preset table without its digests would go unchecked.
TEST(GoldenDigests, CoverEveryVoiceInTableOrder) {
    ASSERT_EQ(std::size(GOLDEN), std::size(tolvimo::PRESETS))
        << "golden_digests.inc needs a row per voice";
    for (size_t kind = 0; kind < std::size(GOLDEN); ++kind) {
        EXPECT_STREQ(GOLDEN[kind].instrument, tolvimo::PRESETS[kind].name) << "row " << kind;
    }
}

TEST(GoldenDigests, EveryInstrumentAtThreeRates) {
    TempDir dir;
    const std::string path = dir.Path("golden.wav");
    for (const auto& g : GOLDEN) {
        for (const auto& [rate, digest] :
             {std::pair{8000, g.at8000}, std::pair{8001, g.at8001}, std::pair{44100, g.at44100}}) {
            ASSERT_EQ(CallCaptured(g.instrument, PHRASE, rate, path).status, 999);
            const uint64_t actual = Digest(SamplesOf(ReadBytes(path)));
            EXPECT_EQ(actual, digest)
                << g.instrument << " at " << rate << " Hz: 0x" << std::hex << actual;
        }
    }
}

}  // namespace
}  // namespace tolvimo_test

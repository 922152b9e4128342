#include "synthesis/render_note.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "named_voice.h"
#include "request/note_plan.h"
#include "synthesis/instrument_presets.h"
#include "synthesis/repeated_notes.h"

namespace tolvimo {
namespace {

using BufferPtr = std::unique_ptr<SampleBuffer, SampleBufferReleaser>;

BufferPtr RenderOne(const char* name, double frequency, int32_t rate) {
    const VoicePtr voice = NamedVoice(name);
    BufferPtr buffer(CreateSampleBuffer(rate, 0));
    EXPECT_TRUE(RenderNote(*buffer, frequency, 0.5, *voice));
    return buffer;
}

// Values worked out independently with a correctly rounded sine.
TEST(RenderNote, GivesTheWorkedSampleValues) {
    const BufferPtr piano = RenderOne("piano", 440.0, 44100);
    ASSERT_EQ(piano->count, 22050);
    const int16_t start[] = {0, 2, 10, 21, 34, 46};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(piano->samples[i], start[i]) << i;
    EXPECT_EQ(piano->samples[441], 885);
    EXPECT_EQ(piano->samples[1000], -2480);

    EXPECT_EQ(RenderOne("violin", 440.0, 44100)->samples[1000], 423);  // vibrato on

    const BufferPtr drum = RenderOne("drum", 261.6255653005986, 8000);
    EXPECT_NE(drum->samples[647], 0);
    for (int i = 648; i < drum->count; ++i) ASSERT_EQ(drum->samples[i], 0) << i;
}

TEST(RenderNote, AppendsNotesBackToBackWithinTheExpectedCapacity) {
    const VoicePtr voice = NamedVoice("piano");
    const BufferPtr buffer(CreateSampleBuffer(44100, 66150));
    int16_t* const storage = buffer->samples;
    for (int note = 0; note < 3; ++note) ASSERT_TRUE(RenderNote(*buffer, 440.0, 0.5, *voice));
    EXPECT_EQ(buffer->count, 66150);
    EXPECT_EQ(buffer->capacity, 67150);
    EXPECT_EQ(buffer->samples, storage);   // never reallocated
    EXPECT_EQ(buffer->samples[22050], 0);  // every note starts at phase zero
}

TEST(RenderNote, GrowsAnUndersizedBufferByTheMargin) {
    const VoicePtr voice = NamedVoice("synth");
    const BufferPtr buffer(CreateSampleBuffer(8001, 0));
    ASSERT_TRUE(RenderNote(*buffer, 440.0, 0.5, *voice));
    EXPECT_EQ(buffer->count, 4000);
    EXPECT_EQ(buffer->capacity, 5000);
}

TEST(SampleBuffer, RefusesSizesBeyondThirtyTwoBits) {
    EXPECT_EQ(CreateSampleBuffer(8000, -1), nullptr);
    EXPECT_EQ(CreateSampleBuffer(8000, 2147483647 - 999), nullptr);
    const BufferPtr buffer(CreateSampleBuffer(8000, 0));
    buffer->count = 2147483647 - 1000;
    EXPECT_FALSE(ReserveSamples(*buffer, 1000));
    EXPECT_EQ(buffer->capacity, 1000);
    buffer->count = 0;
}

// Notes handed out again by the bounded store are exactly fresh renderings,
// whether the store holds every recurring pitch or must choose (10 notes
// fit at 192000 Hz; fewer are kept when fewer notes recur).
TEST(RenderedNotes, GiveEveryNoteItsOwnSamplesWhateverTheStoreKeeps) {
    std::string cycled;  // 15 pitches three times over: more than 10 recur
    for (int round = 0; round < 3; ++round) cycled += "C4D4E4F4G4A4B4C5D5E5F5G5A5B5C6";
    const struct {
        int32_t rate;
        std::string notes;
        int32_t slots;
    } cases[] = {
        {192000, cycled, 10},
        {192000, "CCCDCEEEC", 6},
        {8000, cycled, 30},
        {44100, "C", 0},
    };
    const VoicePtr voice = NamedVoice("piano");
    for (const auto& c : cases) {
        const std::unique_ptr<NotePlan, NotePlanReleaser> plan(CreateNotePlan());
        ASSERT_EQ(ReadNotePlan(c.notes.c_str(), static_cast<uint32_t>(c.notes.size()), *plan), -1);
        const int32_t n = NoteSampleCount(c.rate, 0.5);
        const BufferPtr buffer(CreateSampleBuffer(c.rate, n));
        const std::unique_ptr<RenderedNotes, RenderedNotesReleaser> store(
            CreateRenderedNotes(n, plan->recurring));
        EXPECT_EQ(store->slots, c.slots) << c.notes;
        std::map<double, std::vector<int16_t>> fresh;
        for (int32_t k = 0; k < plan->count; ++k) {
            const double f = plan->frequency[k];
            if (fresh.count(f) == 0) {
                const BufferPtr one(CreateSampleBuffer(c.rate, 0));
                ASSERT_TRUE(RenderNote(*one, f, 0.5, *voice));
                fresh[f].assign(one->samples, one->samples + one->count);
            }
            const int16_t* got =
                RenderOrRepeatNote(*buffer, *store, f, plan->nextUse[k], 0.5, *voice);
            ASSERT_NE(got, nullptr);
            ASSERT_EQ(std::memcmp(got, fresh[f].data(), sizeof(int16_t) * static_cast<size_t>(n)),
                      0)
                << c.notes << " note " << k;
        }
    }
}

TEST(InstrumentPresets, KeepTheirOwnAmplitudes) {
    const VoicePtr piano = NamedVoice("piano");
    const VoicePtr violin = NamedVoice("violin");
    const VoicePtr glockenspiel = NamedVoice("glockenspiel");
    EXPECT_EQ(piano->harmonics[2], 0.33);
    EXPECT_EQ(piano->harmonics[5], 0.167);
    EXPECT_EQ(violin->harmonics[2], 1.0 / 3.0);
    ASSERT_EQ(violin->harmonicCount, 10);
    ASSERT_EQ(glockenspiel->harmonicCount, 10);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(violin->harmonics[i], glockenspiel->harmonics[i]);
    EXPECT_NE(violin->harmonics, glockenspiel->harmonics);

    EXPECT_EQ(CreateVoice(INSTRUMENT_KIND_COUNT), nullptr);
}

}  // namespace
}  // namespace tolvimo

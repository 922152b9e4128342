// The vector path against the scalar reference: every instrument, every
// distinct pitch the note syntax can spell, three sample rates, each vector
// kernel the CPU runs. Slow: labelled "exhaustive".
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "named_voice.h"
#include "notes/note_reader.h"
#include "request/instrument_names.h"
#include "synthesis/fast/render_fast.h"
#include "synthesis/instrument_presets.h"
#include "synthesis/render_note.h"

namespace tolvimo {
namespace {

// Frequencies of every token: letter, accidental or none, octave digit or
// none, and after a digit one more accidental or none; duplicates dropped.
std::vector<double> EveryPitch() {
    std::set<double> pitches;
    const std::string accidentals[] = {"", "#", "b"};
    for (char letter = 'A'; letter <= 'G'; ++letter) {
        for (const auto& first : accidentals) {
            const std::string stem = std::string(1, letter) + first;
            std::vector<std::string> tokens = {stem};
            for (char digit = '0'; digit <= '8'; ++digit) {
                for (const auto& last : accidentals) tokens.push_back(stem + digit + last);
            }
            for (const auto& token : tokens) {
                uint32_t position = 0;
                pitches.insert(ParseNote(token.c_str(), position));
            }
        }
    }
    return {pitches.begin(), pitches.end()};
}

struct NamedKernel {
    const char* name;
    NoteKernel kernel;
};

std::vector<NamedKernel> SupportedKernels() {
    std::vector<NamedKernel> kernels;
#if defined(TOLVIMO_HAVE_SLEEF)
    if (__builtin_cpu_supports("sse2")) kernels.push_back({"sse2", RenderSamplesSse2});
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
        kernels.push_back({"avx2", RenderSamplesAvx2});
    }
    if (__builtin_cpu_supports("avx512f")) kernels.push_back({"avx512", RenderSamplesAvx512});
#endif
    return kernels;
}

class FastPath : public testing::TestWithParam<uint32_t> {};

// Every sample's bytes equal the scalar path's, and the fast values before
// truncation stay far inside the recheck bound: a change that eats into the
// bound fails here long before it could change a byte.
TEST_P(FastPath, GivesTheScalarSamplesForEveryPitchAndRate) {
    const std::vector<NamedKernel> kernels = SupportedKernels();
    if (kernels.empty()) GTEST_SKIP() << "no vector path in this build or CPU";
    const VoicePtr voice(CreateVoice(GetParam()));
    const std::vector<double> pitches = EveryPitch();
    ASSERT_EQ(pitches.size(), 223u);
    double largest = 0.0;
    for (const int32_t rate : {8000, 44100, 192000}) {
        const int32_t n = NoteSampleCount(rate, 0.5);
        std::vector<double> exact(static_cast<size_t>(n));
        std::vector<int16_t> scalar(static_cast<size_t>(n));
        std::vector<double> values(static_cast<size_t>(n));
        std::vector<int16_t> fast(static_cast<size_t>(n));
        for (const double pitch : pitches) {
            for (size_t i = 0; i < exact.size(); ++i) {
                exact[i] = NoteSampleValue(*voice, pitch, 0.5, rate, static_cast<int32_t>(i));
                scalar[i] = TruncateSample(exact[i]);
            }
            for (const auto& k : kernels) {
                RenderNoteWith(k.kernel, fast.data(), n, rate, pitch, 0.5, *voice, RECHECK_BOUND,
                               values.data());
                ASSERT_EQ(fast, scalar) << InstrumentName(GetParam()) << " " << k.name << " "
                                        << pitch << " Hz at " << rate;
                for (size_t i = 0; i < exact.size(); ++i) {
                    largest = std::max(largest, std::fabs(values[i] - exact[i]));
                }
            }
        }
    }
    std::printf("%s: largest |fast - scalar| = %.3g (bound %.3g)\n", InstrumentName(GetParam()),
                largest, RECHECK_BOUND);
    RecordProperty("largest_difference", std::to_string(largest));
    EXPECT_LT(largest, RECHECK_BOUND / 16);
}

std::string KindName(const testing::TestParamInfo<uint32_t>& kind) {
    return InstrumentName(kind.param);
}

INSTANTIATE_TEST_SUITE_P(EveryInstrument, FastPath, testing::Range(0u, INSTRUMENT_KIND_COUNT),
                         KindName);

TEST(FastPathFallback, RecomputingEverySampleGivesTheSameBytes) {
    const std::vector<NamedKernel> kernels = SupportedKernels();
    if (kernels.empty()) GTEST_SKIP() << "no vector path in this build or CPU";
    const VoicePtr voice = NamedVoice("violin");  // vibrato
    std::vector<int16_t> scalar(22050);
    std::vector<int16_t> forced(22050);
    RenderNoteScalar(scalar.data(), 22050, 44100, 440.0, 0.5, *voice);
    RenderNoteWith(kernels.back().kernel, forced.data(), 22050, 44100, 440.0, 0.5, *voice, 1e9);
    EXPECT_EQ(forced, scalar);
}

}  // namespace
}  // namespace tolvimo

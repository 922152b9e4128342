// The vector path against the scalar reference: every instrument, every
// distinct pitch the note syntax can spell, three sample rates, each vector
// kernel the CPU runs. Slow: labelled "exhaustive".
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "named_voice.h"
#include "notes/note_reader.h"
#include "request/instrument_names.h"
#include "synthesis/fast/note_kernel_body.h"
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

std::vector<const NoteKernel*> SupportedKernels() {
    const NoteKernel* kernels[3] = {};
    const int32_t n = AvailableKernels(kernels);
    return {kernels, kernels + n};
}

class FastPath : public testing::TestWithParam<uint32_t> {};

// Every sample's bytes equal the scalar path's, and every note's largest
// distance between fast and scalar values before truncation stays below the
// note's proven bound (E / RECHECK_MARGIN): a change that breaks the proof
// fails here long before it could change a byte.
TEST_P(FastPath, GivesTheScalarSamplesForEveryPitchAndRate) {
    const std::vector<const NoteKernel*> kernels = SupportedKernels();
    if (kernels.empty()) GTEST_SKIP() << "no vector path in this build";
    const VoicePtr voice(CreateVoice(GetParam()));
    const std::vector<double> pitches = EveryPitch();
    ASSERT_EQ(pitches.size(), 223u);
    double largest = 0.0;
    double largestShare = 0.0;  // of the note's bound
    double boundThere = 0.0;
    for (const int32_t rate : {8000, 44100, 192000}) {
        const int32_t n = NoteSampleCount(rate, 0.5);
        std::vector<double> exact(static_cast<size_t>(n));
        std::vector<int16_t> scalar(static_cast<size_t>(n));
        std::vector<double> values(static_cast<size_t>(n));
        std::vector<int16_t> fast(static_cast<size_t>(n));
        std::vector<int16_t> stored(static_cast<size_t>(n));
        for (const double pitch : pitches) {
            for (size_t i = 0; i < exact.size(); ++i) {
                exact[i] = NoteSampleValue(*voice, pitch, 0.5, rate, static_cast<int32_t>(i));
                scalar[i] = TruncateSample(exact[i]);
            }
            const double bound = NoteErrorBound(*voice, pitch, rate, n);
            for (const NoteKernel* k : kernels) {
                RenderNoteWith(*k, fast.data(), n, rate, pitch, 0.5, *voice, RECHECK_BOUND,
                               values.data());
                ASSERT_EQ(fast, scalar) << InstrumentName(GetParam()) << " " << k->name << " "
                                        << pitch << " Hz at " << rate;
                // Without `values`, as the library renders: whole strides are
                // stored by another path, which must give the same bytes.
                RenderNoteWith(*k, stored.data(), n, rate, pitch, 0.5, *voice, RECHECK_BOUND);
                ASSERT_EQ(stored, scalar) << InstrumentName(GetParam()) << " " << k->name
                                          << " without values, " << pitch << " Hz at " << rate;
                double note = 0.0;
                for (size_t i = 0; i < exact.size(); ++i) {
                    note = std::max(note, std::fabs(values[i] - exact[i]));
                }
                ASSERT_LT(note, NoteRecheckBound(*voice, pitch, rate, n) / RECHECK_MARGIN)
                    << InstrumentName(GetParam()) << " " << k->name << " " << pitch << " Hz at "
                    << rate;
                largest = std::max(largest, note);
                if (note / bound > largestShare) {
                    largestShare = note / bound;
                    boundThere = bound;
                }
            }
        }
    }
    std::printf("%s: largest |fast - scalar| = %.3g; closest to its note's bound: %.3g of %.3g\n",
                InstrumentName(GetParam()), largest, largestShare * boundThere, boundThere);
    RecordProperty("largest_difference", std::to_string(largest));
}

std::string KindName(const testing::TestParamInfo<uint32_t>& kind) {
    return InstrumentName(kind.param);
}

INSTANTIATE_TEST_SUITE_P(EveryInstrument, FastPath, testing::Range(0u, INSTRUMENT_KIND_COUNT),
                         KindName);

// A recheck distance beyond every value sends every sample through the
// scalar path; a tail shorter than a vector and an odd first index still
// come out right.
TEST(FastPathFallback, RecheckAndTailsGiveTheScalarBytes) {
    const std::vector<const NoteKernel*> kernels = SupportedKernels();
    if (kernels.empty()) GTEST_SKIP() << "no vector path in this build";
    const VoicePtr violin = NamedVoice("violin");  // vibrato
    const VoicePtr bell = NamedVoice("bell");      // rotation
    const struct {
        const InstrumentVoice* voice;
        int32_t rate;
        double recheck;
    } cases[] = {{violin.get(), 44100, 1e9}, {bell.get(), 8001, 0.0}, {violin.get(), 8003, 0.0}};
    for (const auto& c : cases) {
        const int32_t n = NoteSampleCount(c.rate, 0.5);
        std::vector<int16_t> scalar(static_cast<size_t>(n));
        std::vector<int16_t> fast(static_cast<size_t>(n));
        RenderNoteScalar(scalar.data(), n, c.rate, 440.0, 0.5, *c.voice);
        for (const NoteKernel* k : kernels) {
            RenderNoteWith(*k, fast.data(), n, c.rate, 440.0, 0.5, *c.voice, c.recheck);
            EXPECT_EQ(fast, scalar) << k->name << " at " << c.rate;
        }
    }
}

// The vector sine and cosine in turns keep the error their script derives,
// across every quadrant, exactly at its edges and far from zero: checked
// against long double sine and cosine of the exactly reduced turn.
TEST(VectorSinCos, StaysWithinItsDerivedError) {
    using Pair = Lanes<2, 1>;
    std::vector<double> turns = {0.0,    0.125, 0.25,   0.375,      0.5,       0.625, 0.75, 0.875,
                                 -0.125, -0.25, 1e-300, 3e6 + 0.25, 4e6 + 0.7, 2e-9,  0.1};
    for (int q = -8; q <= 8; ++q) {
        const double edge = q * 0.125;
        turns.push_back(std::nextafter(edge, 1.0));
        turns.push_back(std::nextafter(edge, -1.0));
    }
    uint64_t state = 12345;
    for (int k = 0; k < 20000; ++k) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        turns.push_back(static_cast<double>(state >> 11) / 9007199254740992.0 * 64.0 - 32.0);
    }
    const long double twoPi = 6.283185307179586476925286766559L;
    double worst = 0.0;
    for (const double turn : turns) {
        const Pair::Vec in[1] = {Pair::Vec{turn, -turn}};
        Pair::Vec sine[1];
        Pair::Vec cosine[1];
        SinCosTurns<Pair>(in, sine, cosine);
        const long double reduced = turn - std::nearbyint(turn);  // exact
        const long double s = std::sin(twoPi * reduced);
        const long double c = std::cos(twoPi * reduced);
        const double errors[] = {static_cast<double>(std::fabs(sine[0][0] - s)),
                                 static_cast<double>(std::fabs(sine[0][1] + s)),
                                 static_cast<double>(std::fabs(cosine[0][0] - c)),
                                 static_cast<double>(std::fabs(cosine[0][1] - c))};
        for (const double e : errors) {
            worst = std::max(worst, e);
            ASSERT_LE(e, SINCOS_ERROR) << "at " << turn << " turns";
        }
    }
    std::printf("vector sincos: largest error %.3g (derived bound %.3g)\n", worst, SINCOS_ERROR);
}

}  // namespace
}  // namespace tolvimo

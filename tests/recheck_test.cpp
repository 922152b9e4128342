// The recheck as a mechanism: the kernels' fast values replaced by chosen
// ones (RenderNoteWith's substitute), so that the bytes show which samples
// the kernel listed for the scalar path. The proven bound B only keeps the
// bytes equal if every kernel, lane and vector of a stride lists each value
// within B of a nonzero integer.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "named_voice.h"
#include "synthesis/fast/note_kernel_body.h"
#include "synthesis/fast/render_fast.h"
#include "synthesis/render_note.h"

namespace tolvimo {
namespace {

std::vector<const NoteKernel*> SupportedKernels() {
    const NoteKernel* kernels[3] = {};
    const int32_t n = AvailableKernels(kernels);
    return {kernels, kernels + n};
}

template <typename T>
void ExpectNearAtTheEdges() {
    const double bound = 1e-6;
    const struct {
        double integer;
        double distance;  // in bounds, either side
        bool near;
    } cases[] = {{1234.0, 0.9, true},   {1234.0, 1.1, false}, {-7.0, 0.9, true},
                 {-7.0, 1.1, false},    {19660.0, 0.9, true}, {0.0, 0.9, false},
                 {-19660.0, 1.1, false}};
    for (const auto& c : cases) {
        for (const double side : {-1.0, 1.0}) {
            for (int lane = 0; lane < T::LANES; ++lane) {
                typename T::Vec value = Fill<typename T::Vec>(0.5);
                value[lane] = c.integer + side * c.distance * bound;
                const auto near = NearNonzeroInteger<T>(value, bound);
                for (int k = 0; k < T::LANES; ++k) {
                    EXPECT_EQ(near[k] != 0, k == lane && c.near)
                        << T::LANES << " lanes: " << c.integer << " + " << side * c.distance
                        << " bounds, lane " << k;
                }
            }
        }
    }
}

// Each kernel's own predicate is tried below, through its bytes; here the
// cases the notes cannot make (zero, both signs) in a pair of lanes.
TEST(Recheck, NearIntegerPredicateAtNineAndElevenTenthsOfItsBound) {
    ExpectNearAtTheEdges<Lanes<2, 2>>();
}

struct Note {
    const char* voice;
    double pitch;
    int32_t rate;
};

// A note rotated and one with vibrato, each with a scalar value within 0.02 B
// of a nonzero integer (found by searching the highest pitches at 44100 and
// 192000 Hz).
constexpr Note NOTES[] = {{"bell", 0x1.d229ec465c8ap+12, 192000},
                          {"violin", 0x1.152ec0e758e6ep+13, 192000}};

// Every value within B of a nonzero integer goes to the scalar path, in every
// kernel, lane and vector of a stride: values placed at 0.999 B either side of
// integers far from the note's own come out as the scalar path's bytes, so
// each was listed. With E the kernel's recheck distance, so are those at
// 0.9 E, and none at 1.1 E.
TEST(Recheck, EveryKernelListsEveryValueWithinTheBound) {
    for (const NoteKernel* kernel : SupportedKernels()) {
        for (const Note& note : NOTES) {
            const VoicePtr voice = NamedVoice(note.voice);
            const int32_t n = NoteSampleCount(note.rate, 0.5);
            const double bound = NoteErrorBound(*voice, note.pitch, note.rate, n);
            const double recheck = NoteRecheckBound(*voice, note.pitch, note.rate, n);
            std::vector<int16_t> scalar(static_cast<size_t>(n));
            RenderNoteScalar(scalar.data(), n, note.rate, note.pitch, 0.5, *voice);
            for (const double distance : {0.999 * bound, 0.9 * recheck, 1.1 * recheck}) {
                std::vector<double> substitute(static_cast<size_t>(n));
                std::vector<int16_t> expected(scalar);
                for (int32_t i = 0; i < n; ++i) {
                    const double side = i % 2 == 0 ? 1.0 : -1.0;
                    const double value = 30000.0 + (i % 97) + side * distance;
                    substitute[static_cast<size_t>(i)] = value;
                    if (distance > recheck)
                        expected[static_cast<size_t>(i)] = TruncateSample(value);
                }
                std::vector<int16_t> out(static_cast<size_t>(n));
                RenderNoteWith(*kernel, out.data(), n, note.rate, note.pitch, 0.5, *voice, 0.0,
                               nullptr, substitute.data());
                EXPECT_EQ(out, expected)
                    << kernel->name << " " << note.voice << " at " << distance / bound << " B";
            }
        }
    }
}

// The adversary the bound allows: every value moved (1 - 0.001) B from the
// scalar path's towards its nearest integer, crossing it wherever it lies
// closer; the bytes stay the scalar path's.
TEST(Recheck, ValuesPushedAcrossIntegersByUpToTheBoundGiveTheScalarBytes) {
    for (const NoteKernel* kernel : SupportedKernels()) {
        for (const Note& note : NOTES) {
            const VoicePtr voice = NamedVoice(note.voice);
            const int32_t n = NoteSampleCount(note.rate, 0.5);
            const double bound = NoteErrorBound(*voice, note.pitch, note.rate, n);
            std::vector<int16_t> scalar(static_cast<size_t>(n));
            std::vector<double> pushed(static_cast<size_t>(n));
            double closest = 1.0;  // of the crossing values' distances, in B
            for (int32_t i = 0; i < n; ++i) {
                const double value = NoteSampleValue(*voice, note.pitch, 0.5, note.rate, i);
                const double integer = std::nearbyint(value);
                scalar[static_cast<size_t>(i)] = TruncateSample(value);
                pushed[static_cast<size_t>(i)] =
                    value + std::copysign(0.999 * bound, integer - value);
                if (integer != 0.0 && std::fabs(integer - value) < 0.999 * bound)
                    closest = std::fmin(closest, std::fabs(integer - value) / bound);
            }
            // A value within 0.02 B makes any recheck distance below 0.97 B
            // fail here.
            ASSERT_LT(closest, 0.02) << note.voice << ": no value close enough to test with";
            std::vector<int16_t> out(static_cast<size_t>(n));
            RenderNoteWith(*kernel, out.data(), n, note.rate, note.pitch, 0.5, *voice, 0.0, nullptr,
                           pushed.data());
            EXPECT_EQ(out, scalar) << kernel->name << " " << note.voice;
        }
    }
}

}  // namespace
}  // namespace tolvimo

// The vector path against the scalar path on a machine without GoogleTest,
// such as a cross-built target under emulation: every voice, a spread of the
// pitches the note syntax can spell (thinner at the higher rates, to keep an
// emulated run short), even and odd rates, every kernel the CPU runs. Prints
// one line per kernel and rate with the largest distance between fast and
// scalar values as a share of each note's proven bound, and exits 1 at the
// first differing sample, at a distance beyond a note's bound, or when this
// build has no vector path to check.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "synthesis/fast/render_fast.h"
#include "synthesis/instrument_presets.h"
#include "synthesis/render_note.h"

namespace {

using tolvimo::InstrumentVoice;
using VoicePtr = std::unique_ptr<InstrumentVoice, tolvimo::VoiceReleaser>;

// Every octave's C and F#, from C0 (16.35 Hz) to F#8 (5919.9 Hz), and B#8#,
// the highest pitch the syntax spells.
std::vector<double> SpreadOfPitches() {
    std::vector<double> pitches;
    for (int octave = 0; octave <= 8; ++octave) {
        for (const int semitone : {-9, -3}) {  // from A of the octave
            pitches.push_back(440.0 * std::pow(2.0, (octave - 4) + semitone / 12.0));
        }
    }
    pitches.push_back(8869.8441);
    return pitches;
}

struct Run {
    int32_t rate;
    size_t pitchStride;
};

// Checks one rate; returns false at the first fault.
bool CheckRate(const Run& run, const std::vector<double>& pitches,
               const std::vector<const tolvimo::NoteKernel*>& kernels) {
    const int32_t n = tolvimo::NoteSampleCount(run.rate, 0.5);
    const auto size = static_cast<size_t>(n);
    std::vector<double> checked;
    for (size_t k = 0; k < pitches.size(); k += run.pitchStride) checked.push_back(pitches[k]);
    if (checked.back() != pitches.back()) checked.push_back(pitches.back());
    std::vector<double> exact(size);
    std::vector<double> values(size);
    std::vector<int16_t> fast(size);
    std::vector<int16_t> stored(size);
    std::vector<double> share(kernels.size(), 0.0);
    for (uint32_t kind = 0; kind < tolvimo::INSTRUMENT_KIND_COUNT; ++kind) {
        const VoicePtr voice(tolvimo::CreateVoice(kind));
        for (const double pitch : checked) {
            for (int32_t i = 0; i < n; ++i) {
                exact[static_cast<size_t>(i)] =
                    tolvimo::NoteSampleValue(*voice, pitch, 0.5, run.rate, i);
            }
            const double bound = tolvimo::NoteErrorBound(*voice, pitch, run.rate, n);
            for (size_t k = 0; k < kernels.size(); ++k) {
                tolvimo::RenderNoteWith(*kernels[k], fast.data(), n, run.rate, pitch, 0.5, *voice,
                                        tolvimo::RECHECK_BOUND, values.data());
                // Without `values`, as the library renders: whole strides are
                // stored by another path, which must give the same bytes.
                tolvimo::RenderNoteWith(*kernels[k], stored.data(), n, run.rate, pitch, 0.5, *voice,
                                        tolvimo::RECHECK_BOUND);
                if (stored != fast) {
                    std::printf("%s: %s %.4f Hz at %d: stored without values differs\n",
                                kernels[k]->name, tolvimo::PRESETS[kind].name, pitch, run.rate);
                    return false;
                }
                for (size_t i = 0; i < size; ++i) {
                    const double distance = std::fabs(values[i] - exact[i]) / bound;
                    if (distance > share[k]) share[k] = distance;
                    if (fast[i] != tolvimo::TruncateSample(exact[i]) || !(distance < 1.0)) {
                        std::printf("%s: %s %.4f Hz at %d: sample %zu is %d (%.9f), scalar %.9f\n",
                                    kernels[k]->name, tolvimo::PRESETS[kind].name, pitch, run.rate,
                                    i, fast[i], values[i], exact[i]);
                        return false;
                    }
                }
            }
        }
    }
    for (size_t k = 0; k < kernels.size(); ++k) {
        std::printf(
            "%s, %d Hz: %u voices x %zu pitches, vector = scalar, largest distance %.3f "
            "of the bound\n",
            kernels[k]->name, run.rate, tolvimo::INSTRUMENT_KIND_COUNT, checked.size(), share[k]);
    }
    return true;
}

}  // namespace

// An optional argument thins the pitches further by that factor, for the
// slowest emulators.
int main(int argc, char** argv) {
    const size_t thin = argc > 1 ? static_cast<size_t>(std::max(1, std::atoi(argv[1]))) : 1;
    const tolvimo::NoteKernel* available[3] = {};
    const int32_t count = tolvimo::AvailableKernels(available);
    if (count == 0) {
        std::puts("no vector path in this build");
        return 1;
    }
    const std::vector<const tolvimo::NoteKernel*> kernels(available, available + count);
    const std::vector<double> pitches = SpreadOfPitches();
    const Run runs[] = {{8000, 1}, {11025, 3}, {44100, 4}, {96001, 9}, {192000, 18}};
    for (const Run& run : runs) {
        if (!CheckRate({run.rate, run.pitchStride * thin}, pitches, kernels)) return 1;
    }
    return 0;
}

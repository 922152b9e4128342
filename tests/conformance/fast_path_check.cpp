// The vector path against the scalar path on a machine without GoogleTest,
// such as a cross-built target under emulation: every voice, a spread of the
// pitches the note syntax can spell (thinner at the higher rates, to keep an
// emulated run short), three rates. Prints one line per rate
// and exits 1 at the first differing sample, or when this build or CPU has no
// vector path to check.
#include <cmath>
#include <cstdio>
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

}  // namespace

int main() {
    const std::vector<double> pitches = SpreadOfPitches();
    const struct {
        int32_t rate;
        size_t pitchStride;
    } runs[] = {{8000, 1}, {44100, 2}, {192000, 5}};
    for (const auto& [rate, stride] : runs) {
        const int32_t n = tolvimo::NoteSampleCount(rate, 0.5);
        std::vector<double> checked;
        for (size_t k = 0; k < pitches.size(); k += stride) checked.push_back(pitches[k]);
        if (checked.back() != pitches.back()) checked.push_back(pitches.back());
        std::vector<int16_t> scalar(static_cast<size_t>(n));
        std::vector<int16_t> fast(static_cast<size_t>(n));
        long long samples = 0;
        for (uint32_t kind = 0; kind < tolvimo::INSTRUMENT_KIND_COUNT; ++kind) {
            const VoicePtr voice(tolvimo::CreateVoice(kind));
            for (const double pitch : checked) {
                tolvimo::RenderNoteScalar(scalar.data(), n, rate, pitch, 0.5, *voice);
                if (!tolvimo::RenderNoteFast(fast.data(), n, rate, pitch, 0.5, *voice,
                                             tolvimo::RECHECK_BOUND)) {
                    std::puts("no vector path in this build or CPU");
                    return 1;
                }
                for (int32_t i = 0; i < n; ++i) {
                    if (fast[static_cast<size_t>(i)] != scalar[static_cast<size_t>(i)]) {
                        std::printf("%s %.4f Hz at %d: sample %d is %d, scalar %d\n",
                                    tolvimo::PRESETS[kind].name, pitch, rate, i,
                                    fast[static_cast<size_t>(i)], scalar[static_cast<size_t>(i)]);
                        return 1;
                    }
                }
                samples += n;
            }
        }
        std::printf("%d Hz: %lld samples of %u voices x %zu pitches, vector = scalar\n", rate,
                    samples, tolvimo::INSTRUMENT_KIND_COUNT, checked.size());
    }
    return 0;
}

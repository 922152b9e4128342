#include "synthesis/fast/render_fast.h"

#include <cmath>

#include "synthesis/fast/harmonic_sums.h"
#include "synthesis/render_note.h"

namespace tolvimo {
namespace {

#if defined(TOLVIMO_HAVE_SLEEF)
// The widest kernel this CPU runs, or nullptr. The CPU's features are read
// once by the compiler runtime at load time; this only looks them up.
HarmonicSumKernel SelectKernel() {
    if (__builtin_cpu_supports("avx512f")) return HarmonicSumsAvx512;
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return HarmonicSumsAvx2;
    if (__builtin_cpu_supports("sse2")) return HarmonicSumsSse2;
    return nullptr;
}
#else
HarmonicSumKernel SelectKernel() {
    return nullptr;
}
#endif

// Samples per kernel call: the sums stay in L1 cache.
constexpr int32_t BLOCK = 512;
constexpr int32_t MAX_LANES = 8;

// True when truncating `value` and the scalar value, which lies within
// `bound` of it, might differ: it lies within `bound` of a nonzero integer.
bool NearTruncationStep(double value, double bound) {
    const double nearest = std::nearbyint(value);
    return nearest != 0.0 && std::fabs(value - nearest) <= bound;
}

}  // namespace

bool RenderNoteFast(int16_t* out, int32_t count, int32_t sampleRate, double frequency,
                    double duration, const InstrumentVoice& voice, double recheckBound) {
    const HarmonicSumKernel kernel = SelectKernel();
    if (kernel == nullptr) return false;
    RenderNoteWith(kernel, out, count, sampleRate, frequency, duration, voice, recheckBound);
    return true;
}

void RenderNoteWith(HarmonicSumKernel kernel, int16_t* out, int32_t count, int32_t sampleRate,
                    double frequency, double duration, const InstrumentVoice& voice,
                    double recheckBound) {
    double sums[BLOCK + MAX_LANES];
    for (int32_t first = 0; first < count; first += BLOCK) {
        const int32_t size = count - first < BLOCK ? count - first : BLOCK;
        kernel(voice, frequency, sampleRate, first, size, sums);
        for (int32_t k = 0; k < size; ++k) {
            const int32_t i = first + k;
            double value = ScaleHarmonicSum(sums[k], SampleTime(i, sampleRate), voice, duration);
            if (NearTruncationStep(value, recheckBound)) {
                value = NoteSampleValue(voice, frequency, duration, sampleRate, i);
            }
            out[i] = TruncateSample(value);
        }
    }
}

}  // namespace tolvimo

#include "synthesis/fast/render_fast.h"

#include <cmath>

#include "synthesis/fast/note_kernels.h"
#include "synthesis/render_note.h"

namespace tolvimo {
namespace {

#if defined(TOLVIMO_HAVE_SLEEF) && (defined(__x86_64__) || defined(_M_X64))
// The widest kernel this CPU runs, or nullptr. The compiler runtime reads the
// CPU's features when the library loads; this only looks them up.
NoteKernel SelectKernel() {
    if (__builtin_cpu_supports("avx512f")) return RenderSamplesAvx512;
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return RenderSamplesAvx2;
    if (__builtin_cpu_supports("sse2")) return RenderSamplesSse2;
    return nullptr;
}
#elif defined(TOLVIMO_HAVE_SLEEF) && defined(__aarch64__)
NoteKernel SelectKernel() {
    return RenderSamplesAdvsimd;
}
#else
NoteKernel SelectKernel() {
    return nullptr;
}
#endif

// The smallest sample index whose time i / sampleRate (computed as the scalar
// path computes it) is not below `time`. Times grow with the index, so the
// scalar test t < time is exactly i < this index.
double FirstSampleFrom(double time, int32_t sampleRate) {
    const double limit = 1e9;  // beyond every note; keeps the cast defined
    const double estimate = std::ceil(time * static_cast<double>(sampleRate));
    if (!(estimate < limit)) return limit;
    if (estimate < 0.0) return 0.0;
    auto i = static_cast<int32_t>(estimate);
    while (i > 0 && SampleTime(i - 1, sampleRate) >= time) --i;
    while (SampleTime(i, sampleRate) < time) ++i;
    return static_cast<double>(i);
}

// Samples per kernel call.
constexpr int32_t BLOCK = 1024;

}  // namespace

bool RenderNoteFast(int16_t* out, int32_t count, int32_t sampleRate, double frequency,
                    double duration, const InstrumentVoice& voice, double recheckBound) {
    const NoteKernel kernel = SelectKernel();
    // Always true in a build without SLEEF, never on a vector-capable CPU.
    // cppcheck-suppress knownConditionTrueFalse
    if (kernel == nullptr) return false;
    RenderNoteWith(kernel, out, count, sampleRate, frequency, duration, voice, recheckBound);
    return true;
}

void RenderNoteWith(NoteKernel kernel, int16_t* out, int32_t count, int32_t sampleRate,
                    double frequency, double duration, const InstrumentVoice& voice,
                    double recheckBound, double* values) {
    const double releaseStart = duration - voice.release;
    const NoteJob job{&voice,
                      frequency,
                      duration,
                      sampleRate,
                      recheckBound,
                      FirstSampleFrom(voice.attack, sampleRate),
                      FirstSampleFrom(voice.attack + voice.decay, sampleRate),
                      FirstSampleFrom(releaseStart, sampleRate),
                      releaseStart,
                      1.0 / voice.attack,
                      1.0 / voice.decay,
                      1.0 / voice.release,
                      nullptr};
    int32_t recheck[BLOCK];
    for (int32_t first = 0; first < count; first += BLOCK) {
        const int32_t size = count - first < BLOCK ? count - first : BLOCK;
        NoteJob part = job;
        if (values != nullptr) part.values = values + first;  // before any recheck
        const int32_t listed = kernel(part, first, size, out + first, recheck);
        for (int32_t r = 0; r < listed; ++r) {
            const int32_t i = first + recheck[r];
            out[i] = TruncateSample(NoteSampleValue(voice, frequency, duration, sampleRate, i));
        }
    }
}

}  // namespace tolvimo

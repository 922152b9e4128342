// SSE2, which every x86-64 CPU has: two samples a vector.
#include <emmintrin.h>
#include <sleef.h>

#include "synthesis/fast/harmonic_sums.h"
#include "synthesis/fast/harmonic_sums_body.h"

namespace tolvimo {
namespace {

struct Sse2 {
    using Vec = __m128d;
    static constexpr int32_t LANES = 2;
    static Vec Set(double x) { return _mm_set1_pd(x); }
    static Vec Iota(double base) { return _mm_add_pd(_mm_set1_pd(base), _mm_set_pd(1, 0)); }
    static Vec Add(Vec a, Vec b) { return _mm_add_pd(a, b); }
    static Vec Mul(Vec a, Vec b) { return _mm_mul_pd(a, b); }
    static Vec Div(Vec a, Vec b) { return _mm_div_pd(a, b); }
    static Vec Sin(Vec x) { return Sleef_sind2_u35sse2(x); }
    static void Store(double* out, Vec v) { _mm_storeu_pd(out, v); }
};

}  // namespace

void HarmonicSumsSse2(const InstrumentVoice& voice, double frequency, int32_t sampleRate,
                      int32_t first, int32_t count, double* sums) {
    HarmonicSumsOf<Sse2>(voice, frequency, sampleRate, first, count, sums);
}

}  // namespace tolvimo

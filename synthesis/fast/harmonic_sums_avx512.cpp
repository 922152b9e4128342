// AVX-512F: eight samples a vector. Compiled with -mavx512f.
#include <immintrin.h>
#include <sleef.h>

#include "synthesis/fast/harmonic_sums.h"
#include "synthesis/fast/harmonic_sums_body.h"

namespace tolvimo {
namespace {

struct Avx512 {
    using Vec = __m512d;
    static constexpr int32_t LANES = 8;
    static Vec Set(double x) { return _mm512_set1_pd(x); }
    static Vec Iota(double base) {
        return _mm512_add_pd(_mm512_set1_pd(base), _mm512_set_pd(7, 6, 5, 4, 3, 2, 1, 0));
    }
    static Vec Add(Vec a, Vec b) { return _mm512_add_pd(a, b); }
    static Vec Mul(Vec a, Vec b) { return _mm512_mul_pd(a, b); }
    static Vec Div(Vec a, Vec b) { return _mm512_div_pd(a, b); }
    static Vec Sin(Vec x) { return Sleef_sind8_u35avx512f(x); }
    static void Store(double* out, Vec v) { _mm512_storeu_pd(out, v); }
};

}  // namespace

void HarmonicSumsAvx512(const InstrumentVoice& voice, double frequency, int32_t sampleRate,
                        int32_t first, int32_t count, double* sums) {
    HarmonicSumsOf<Avx512>(voice, frequency, sampleRate, first, count, sums);
}

}  // namespace tolvimo

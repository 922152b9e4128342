// AVX2 (with FMA, which the vector sine uses inside itself): four samples a
// vector. Compiled with -mavx2 -mfma; -ffp-contract=off keeps our own
// products and sums unfused.
#include <immintrin.h>
#include <sleef.h>

#include "synthesis/fast/harmonic_sums.h"
#include "synthesis/fast/harmonic_sums_body.h"

namespace tolvimo {
namespace {

struct Avx2 {
    using Vec = __m256d;
    static constexpr int32_t LANES = 4;
    static Vec Set(double x) { return _mm256_set1_pd(x); }
    static Vec Iota(double base) {
        return _mm256_add_pd(_mm256_set1_pd(base), _mm256_set_pd(3, 2, 1, 0));
    }
    static Vec Add(Vec a, Vec b) { return _mm256_add_pd(a, b); }
    static Vec Mul(Vec a, Vec b) { return _mm256_mul_pd(a, b); }
    static Vec Div(Vec a, Vec b) { return _mm256_div_pd(a, b); }
    static Vec Sin(Vec x) { return Sleef_sind4_u35avx2(x); }
    static void Store(double* out, Vec v) { _mm256_storeu_pd(out, v); }
};

}  // namespace

void HarmonicSumsAvx2(const InstrumentVoice& voice, double frequency, int32_t sampleRate,
                      int32_t first, int32_t count, double* sums) {
    HarmonicSumsOf<Avx2>(voice, frequency, sampleRate, first, count, sums);
}

}  // namespace tolvimo

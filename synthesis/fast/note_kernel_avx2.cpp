// AVX2 (with FMA, which the vector sine uses inside itself): four samples a
// vector. Compiled with -mavx2 -mfma; -ffp-contract=off keeps our own
// products and sums unfused.
#include <immintrin.h>
#include <sleef.h>

#include "synthesis/fast/note_kernel_body.h"
#include "synthesis/fast/note_kernels.h"

namespace tolvimo {
namespace {

struct Avx2 {
    using Vec = __m256d;
    using Mask = __m256d;
    static constexpr int32_t LANES = 4;
    static constexpr int GROUP = 3;
    static Vec Set(double x) { return _mm256_set1_pd(x); }
    static Vec Iota(double base) {
        return _mm256_add_pd(_mm256_set1_pd(base), _mm256_set_pd(3, 2, 1, 0));
    }
    static Vec Add(Vec a, Vec b) { return _mm256_add_pd(a, b); }
    static Vec Sub(Vec a, Vec b) { return _mm256_sub_pd(a, b); }
    static Vec Mul(Vec a, Vec b) { return _mm256_mul_pd(a, b); }
    static Vec Div(Vec a, Vec b) { return _mm256_div_pd(a, b); }
    static Vec Sin(Vec x) { return Sleef_sind4_u35avx2(x); }
    static void SinCos(Vec x, Vec& sine, Vec& cosine) {
        const auto both = Sleef_sincosd4_u35avx2(x);
        sine = both.x;
        cosine = both.y;
    }
    static Mask Less(Vec a, Vec b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static bool AnyOf(Mask m) { return _mm256_movemask_pd(m) != 0; }
    static bool AllOf(Mask m) { return _mm256_movemask_pd(m) == 0xF; }
    static Vec Select(Mask m, Vec a, Vec b) { return _mm256_blendv_pd(b, a, m); }
    static unsigned NearStep(Vec value, Vec bound) {
        const Vec nearest = Round<Avx2>(value);
        const Vec difference = _mm256_sub_pd(value, nearest);
        const Vec distance =
            _mm256_max_pd(difference, _mm256_sub_pd(_mm256_setzero_pd(), difference));
        const Vec near = _mm256_and_pd(_mm256_cmp_pd(nearest, _mm256_setzero_pd(), _CMP_NEQ_OQ),
                                       _mm256_cmp_pd(distance, bound, _CMP_LE_OQ));
        return static_cast<unsigned>(_mm256_movemask_pd(near));
    }
    static void StoreTruncated(int16_t* out, Vec v) {
        const __m128i words = _mm256_cvttpd_epi32(v);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(words, words));
    }
};

}  // namespace

int32_t RenderSamplesAvx2(const NoteJob& job, int32_t first, int32_t count, int16_t* out,
                          int32_t* recheck) {
    return RenderSamplesOf<Avx2>(job, first, count, out, recheck);
}

}  // namespace tolvimo

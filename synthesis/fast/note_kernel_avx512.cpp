// AVX-512F: eight samples a vector. Compiled with -mavx512f.
#include <immintrin.h>
#include <sleef.h>

#include "synthesis/fast/note_kernel_body.h"
#include "synthesis/fast/note_kernels.h"

namespace tolvimo {
namespace {

struct Avx512 {
    using Vec = __m512d;
    using Mask = __mmask8;
    static constexpr int32_t LANES = 8;
    static constexpr int GROUP = 8;
    static Vec Set(double x) { return _mm512_set1_pd(x); }
    static Vec Iota(double base) {
        return _mm512_add_pd(_mm512_set1_pd(base), _mm512_set_pd(7, 6, 5, 4, 3, 2, 1, 0));
    }
    static Vec Add(Vec a, Vec b) { return _mm512_add_pd(a, b); }
    static Vec Sub(Vec a, Vec b) { return _mm512_sub_pd(a, b); }
    static Vec Mul(Vec a, Vec b) { return _mm512_mul_pd(a, b); }
    static Vec Div(Vec a, Vec b) { return _mm512_div_pd(a, b); }
    static Vec Sin(Vec x) { return Sleef_sind8_u35avx512f(x); }
    static void SinCos(Vec x, Vec& sine, Vec& cosine) {
        const auto both = Sleef_sincosd8_u35avx512f(x);
        sine = both.x;
        cosine = both.y;
    }
    static Mask Less(Vec a, Vec b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    static bool AnyOf(Mask m) { return m != 0; }
    static bool AllOf(Mask m) { return m == 0xFF; }
    static Vec Select(Mask m, Vec a, Vec b) { return _mm512_mask_blend_pd(m, b, a); }
    static unsigned NearStep(Vec value, Vec bound) {
        const Vec nearest = Round<Avx512>(value);
        const Vec distance = _mm512_abs_pd(_mm512_sub_pd(value, nearest));
        const Mask nonzero = _mm512_cmp_pd_mask(nearest, _mm512_setzero_pd(), _CMP_NEQ_OQ);
        return _mm512_mask_cmp_pd_mask(nonzero, distance, bound, _CMP_LE_OQ);
    }
    // The masked conversion, with every lane selected, gives the plain one's
    // result without an undefined source operand. An AVX-512F CPU has AVX2,
    // which packs the two halves.
    static void StoreTruncated(int16_t* out, Vec v) {
        const __m256i words = _mm512_mask_cvttpd_epi32(_mm256_setzero_si256(), 0xFF, v);
        const __m128i packed =
            _mm_packs_epi32(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), packed);
    }
};

}  // namespace

int32_t RenderSamplesAvx512(const NoteJob& job, int32_t first, int32_t count, int16_t* out,
                            int32_t* recheck) {
    return RenderSamplesOf<Avx512>(job, first, count, out, recheck);
}

}  // namespace tolvimo

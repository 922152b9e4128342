// SSE2, which every x86-64 CPU has: two samples a vector.
#include <emmintrin.h>
#include <sleef.h>

#include "synthesis/fast/note_kernel_body.h"
#include "synthesis/fast/note_kernels.h"

namespace tolvimo {
namespace {

struct Sse2 {
    using Vec = __m128d;
    using Mask = __m128d;
    static constexpr int32_t LANES = 2;
    static constexpr int GROUP = 3;
    static Vec Set(double x) { return _mm_set1_pd(x); }
    static Vec Iota(double base) { return _mm_add_pd(_mm_set1_pd(base), _mm_set_pd(1, 0)); }
    static Vec Add(Vec a, Vec b) { return _mm_add_pd(a, b); }
    static Vec Sub(Vec a, Vec b) { return _mm_sub_pd(a, b); }
    static Vec Mul(Vec a, Vec b) { return _mm_mul_pd(a, b); }
    static Vec Div(Vec a, Vec b) { return _mm_div_pd(a, b); }
    static Vec Sin(Vec x) { return Sleef_sind2_u35sse2(x); }
    static void SinCos(Vec x, Vec& sine, Vec& cosine) {
        const auto both = Sleef_sincosd2_u35sse2(x);
        sine = both.x;
        cosine = both.y;
    }
    static Mask Less(Vec a, Vec b) { return _mm_cmplt_pd(a, b); }
    static bool AnyOf(Mask m) { return _mm_movemask_pd(m) != 0; }
    static bool AllOf(Mask m) { return _mm_movemask_pd(m) == 0x3; }
    static Vec Select(Mask m, Vec a, Vec b) {
        return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b));
    }
    static unsigned NearStep(Vec value, Vec bound) {
        const Vec nearest = Round<Sse2>(value);
        const Vec difference = _mm_sub_pd(value, nearest);
        const Vec distance = _mm_max_pd(difference, _mm_sub_pd(_mm_setzero_pd(), difference));
        const Vec near =
            _mm_and_pd(_mm_cmpneq_pd(nearest, _mm_setzero_pd()), _mm_cmple_pd(distance, bound));
        return static_cast<unsigned>(_mm_movemask_pd(near));
    }
    static void StoreTruncated(int16_t* out, Vec v) {
        const __m128i words = _mm_cvttpd_epi32(v);
        const int packed = _mm_cvtsi128_si32(_mm_packs_epi32(words, words));
        std::memcpy(out, &packed, sizeof packed);
    }
};

}  // namespace

int32_t RenderSamplesSse2(const NoteJob& job, int32_t first, int32_t count, int16_t* out,
                          int32_t* recheck) {
    return RenderSamplesOf<Sse2>(job, first, count, out, recheck);
}

}  // namespace tolvimo

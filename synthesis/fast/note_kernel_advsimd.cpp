// AdvSIMD (NEON), which every 64-bit ARM CPU has: two samples a vector.
// -ffp-contract=off keeps the compiler from fusing our products and sums.
#include <arm_neon.h>
#include <sleef.h>

#include <cstring>

#include "synthesis/fast/note_kernel_body.h"
#include "synthesis/fast/note_kernels.h"

namespace tolvimo {
namespace {

struct Advsimd {
    using Vec = float64x2_t;
    using Mask = uint64x2_t;
    static constexpr int32_t LANES = 2;
    static constexpr int GROUP = 6;  // 32 vector registers
    static Vec Set(double x) { return vdupq_n_f64(x); }
    static Vec Iota(double base) {
        const double lanes[2] = {0.0, 1.0};
        return vaddq_f64(vdupq_n_f64(base), vld1q_f64(lanes));
    }
    static Vec Add(Vec a, Vec b) { return vaddq_f64(a, b); }
    static Vec Sub(Vec a, Vec b) { return vsubq_f64(a, b); }
    static Vec Mul(Vec a, Vec b) { return vmulq_f64(a, b); }
    static Vec Sin(Vec x) { return Sleef_sind2_u35advsimd(x); }
    static void SinCos(Vec x, Vec& sine, Vec& cosine) {
        const auto both = Sleef_sincosd2_u35advsimd(x);
        sine = both.x;
        cosine = both.y;
    }
    static Mask Less(Vec a, Vec b) { return vcltq_f64(a, b); }
    static bool AnyOf(Mask m) { return vmaxvq_u32(vreinterpretq_u32_u64(m)) != 0; }
    static bool AllOf(Mask m) { return vminvq_u32(vreinterpretq_u32_u64(m)) != 0; }
    static Vec Select(Mask m, Vec a, Vec b) { return vbslq_f64(m, a, b); }
    static unsigned NearStep(Vec value, Vec bound) {
        const Vec nearest = Round<Advsimd>(value);
        const Vec distance = vabsq_f64(vsubq_f64(value, nearest));
        const uint64x2_t nonzero = vmvnq_u32_u64(vceqq_f64(nearest, vdupq_n_f64(0.0)));
        const uint64x2_t near = vandq_u64(nonzero, vcleq_f64(distance, bound));
        return static_cast<unsigned>((vgetq_lane_u64(near, 0) & 1u) |
                                     ((vgetq_lane_u64(near, 1) & 1u) << 1));
    }
    // Truncation toward zero to 32 bits, then saturation to 16 as the x86
    // kernels store; every sample lies well inside int16 either way.
    static void StoreTruncated(int16_t* out, Vec v) {
        const int32x2_t words = vqmovn_s64(vcvtq_s64_f64(v));
        int16_t packed[4];
        vst1_s16(packed, vqmovn_s32(vcombine_s32(words, words)));
        std::memcpy(out, packed, sizeof(int16_t) * LANES);
    }

private:
    static uint64x2_t vmvnq_u32_u64(uint64x2_t m) {
        return vreinterpretq_u64_u32(vmvnq_u32(vreinterpretq_u32_u64(m)));
    }
};

}  // namespace

int32_t RenderSamplesAdvsimd(const NoteJob& job, int32_t first, int32_t count, int16_t* out,
                             int32_t* recheck) {
    return RenderSamplesOf<Advsimd>(job, first, count, out, recheck);
}

}  // namespace tolvimo

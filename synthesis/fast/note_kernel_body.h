// The kernel, written once over the compilers' generic vector types. Each
// instruction set includes this in its own translation unit, compiled with its
// own flags; the unnamed namespace keeps every copy inside its unit, so no
// function compiled for a wider set can be shared with a narrower one.
// Every operation on a vector is one IEEE operation per lane (the library is
// compiled with -ffp-contract=off). proof/kernel_model.py repeats this
// arithmetic operation by operation, and the error bound's proof is built from
// it; the test proof_kernel_model compares the two bit for bit, so a change to
// the arithmetic here goes there too.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>
#if defined(__FMA__)
#include <immintrin.h>
#endif

#include "synthesis/fast/error_bounds.h"
#include "synthesis/fast/note_kernels.h"
#include "synthesis/fast/sincos_coefficients.h"
#include "synthesis/render_note.h"

namespace tolvimo {
// Each instruction set's unit gets its own copy of everything here.
namespace {  // NOLINT(cert-dcl59-cpp)

// LANES doubles a vector, the matching 32- and 16-bit integer vectors, and
// GROUP vectors kept in flight to hide each step's latency.
template <int LANES_, int GROUP_>
struct Lanes;

#define TOLVIMO_LANES(N)                                              \
    template <int GROUP_>                                             \
    struct Lanes<N, GROUP_> {                                         \
        typedef double Vec __attribute__((vector_size(8 * (N))));     \
        typedef int32_t Words __attribute__((vector_size(4 * (N))));  \
        typedef int16_t Halves __attribute__((vector_size(2 * (N)))); \
        using Mask = decltype(Vec{} < Vec{});                         \
        static constexpr int LANES = N;                               \
        static constexpr int GROUP = GROUP_;                          \
    };
TOLVIMO_LANES(2)
TOLVIMO_LANES(4)
TOLVIMO_LANES(8)
#undef TOLVIMO_LANES

template <typename V, size_t... K>
[[gnu::always_inline]] inline V Splat(V v, std::index_sequence<K...> /*lanes*/) {
    return __builtin_shufflevector(v, v, (K * 0)...);
}

// Every lane x. Written as a shuffle of lane 0 because a loop over the lanes
// of a value known only at run time compiles to one masked insert per lane.
template <typename V, typename E>
[[gnu::always_inline]] inline V Fill(E x) {
    const V first{x};
    return Splat(first, std::make_index_sequence<sizeof(V) / sizeof(first[0])>{});
}

template <typename T>
typename T::Vec Iota(double base) {
    typename T::Vec v{};
    for (int k = 0; k < T::LANES; ++k) v[k] = base + k;
    return v;
}

template <typename T>
typename T::Vec Select(typename T::Mask m, typename T::Vec a, typename T::Vec b) {
    using Mask = typename T::Mask;
    return __builtin_bit_cast(
        typename T::Vec, (m & __builtin_bit_cast(Mask, a)) | (~m & __builtin_bit_cast(Mask, b)));
}

// True when any lane of m is set: halves ORed together, then two lanes.
template <typename T>
bool AnyLane(typename T::Mask m) {
    if constexpr (T::LANES == 8) {
        const auto half =
            __builtin_shufflevector(m, m, 0, 1, 2, 3) | __builtin_shufflevector(m, m, 4, 5, 6, 7);
        const auto quarter =
            __builtin_shufflevector(half, half, 0, 1) | __builtin_shufflevector(half, half, 2, 3);
        return (quarter[0] | quarter[1]) != 0;
    } else if constexpr (T::LANES == 4) {
        const auto half = __builtin_shufflevector(m, m, 0, 1) | __builtin_shufflevector(m, m, 2, 3);
        return (half[0] | half[1]) != 0;
    } else {
        return (m[0] | m[1]) != 0;
    }
}

// Whether MulAdd rounds once: the AVX2 and AVX-512 kernels, built with
// -mfma. The bounds NoteErrorBound uses are proven for both.
template <typename T>
constexpr bool FUSED =
#if defined(__FMA__) && defined(__AVX512F__)
    T::LANES == 8 ||
#endif
#if defined(__FMA__)
    T::LANES == 4 ||
#endif
    false;

// a x b + c, with one rounding where FUSED, else two. Used only for Horner's
// rule, the rotations, the vibrato's bend of the frequency and the exact
// steps of the sincos reduction.
template <typename T>
[[gnu::always_inline]] inline typename T::Vec MulAdd(typename T::Vec a, typename T::Vec b,
                                                     typename T::Vec c) {
    if constexpr (FUSED<T>) {
#if defined(__FMA__) && defined(__AVX512F__)
        if constexpr (T::LANES == 8) return _mm512_fmadd_pd(a, b, c);
#endif
#if defined(__FMA__)
        if constexpr (T::LANES == 4) return _mm256_fmadd_pd(a, b, c);
#endif
    }
    return a * b + c;
}

// x rounded to the nearest whole number (ties to even), for |x| < 2^51:
// adding 1.5 x 2^52 drops every fraction bit, and the sum's low mantissa bits
// hold that whole number in two's complement.
// AVX and AVX-512 round in one instruction, to the same whole number.
template <typename T>
typename T::Vec Round(typename T::Vec x) {
#if defined(__AVX512F__)
    // The zero-masked form, whose unused lanes are zeros rather than g++'s
    // "undefined" vector (which it then warns about). Unoptimised, g++'s
    // header makes it a macro that passes the all-ones mask as the builtin's
    // char: a sign conversion of the header's, not ours.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsign-conversion"
    if constexpr (T::LANES == 8)
        return _mm512_maskz_roundscale_pd(0xFF, x, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
#pragma GCC diagnostic pop
#endif
#if defined(__AVX__)
    if constexpr (T::LANES == 4)
        return _mm256_round_pd(x, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
#endif
    return (x + ROUNDING_SHIFT) - ROUNDING_SHIFT;
}

// sin and cos of `turns` full turns, for each of the group's G vectors. The
// turns are reduced exactly to r = turns - q / 4 with q the nearest whole
// number of quarter turns (|r| <= 1/8; the subtraction is exact by Sterbenz's
// lemma for q != 0), the series of sin(2 pi r) and cos(2 pi r) are evaluated,
// and q mod 4 swaps and negates them: the series are within SINE_ERROR and
// COSINE_ERROR of the true values, so each result is within one or the other,
// for |turns| < 2^49. The G vectors advance together through each series, so
// that their steps overlap.
template <typename T, size_t G>
[[gnu::always_inline]] inline void SinCosTurns(const typename T::Vec (&turns)[G],
                                               typename T::Vec (&sine)[G],
                                               typename T::Vec (&cosine)[G]) {
    using Vec = typename T::Vec;
    using Mask = typename T::Mask;
    Vec shifted[G];
    Vec r[G];
    Vec z[G];
    Vec s[G];
    Vec c[G];
#pragma GCC unroll 8
    for (size_t g = 0; g < G; ++g) {
        // Both products are exact (powers of two), so a fused multiply-add
        // gives the same sums as the separate operations.
        shifted[g] = MulAdd<T>(turns[g], Fill<Vec>(4.0), Fill<Vec>(ROUNDING_SHIFT));
        r[g] = MulAdd<T>(ROUNDING_SHIFT - shifted[g], Fill<Vec>(0.25), turns[g]);
        z[g] = r[g] * r[g];
        s[g] = Fill<Vec>(SINE_TURNS[SINCOS_TERMS - 1]);
        c[g] = Fill<Vec>(COSINE_TURNS[SINCOS_TERMS - 1]);
    }
#pragma GCC unroll 16
    for (int k = SINCOS_TERMS - 2; k >= 0; --k) {
#pragma GCC unroll 8
        for (size_t g = 0; g < G; ++g) {
            s[g] = MulAdd<T>(s[g], z[g], Fill<Vec>(SINE_TURNS[k]));
            c[g] = MulAdd<T>(c[g], z[g], Fill<Vec>(COSINE_TURNS[k]));
        }
    }
    const Mask sign = Fill<Mask>(INT64_MIN);
#pragma GCC unroll 8
    for (size_t g = 0; g < G; ++g) {
        s[g] = s[g] * r[g];
        const Mask q = __builtin_bit_cast(Mask, shifted[g]);
        // All ones where q is odd: a negation, as SSE2 has no 64-bit compare.
        const Mask odd = -(q & 1);
        // Bit 1 of q (of q + 1), moved to the sign bit.
        const Mask sineSign = (q << 62) & sign;
        const Mask cosineSign = ((q + 1) << 62) & sign;
        sine[g] = __builtin_bit_cast(
            Vec, __builtin_bit_cast(Mask, Select<T>(odd, c[g], s[g])) ^ sineSign);
        cosine[g] = __builtin_bit_cast(
            Vec, __builtin_bit_cast(Mask, Select<T>(odd, s[g], c[g])) ^ cosineSign);
    }
}

// Turns each pair (sine, cosine) by the angle whose sine and cosine are given.
template <typename T, size_t G>
[[gnu::always_inline]] inline void Rotate(typename T::Vec (&sine)[G], typename T::Vec (&cosine)[G],
                                          double stepSine, double stepCosine) {
    // Each step spread over the lanes once, not once a vector.
    const typename T::Vec stepS = Fill<typename T::Vec>(stepSine);
    const typename T::Vec stepC = Fill<typename T::Vec>(stepCosine);
#pragma GCC unroll 8
    for (size_t g = 0; g < G; ++g) {
        const typename T::Vec s = MulAdd<T>(sine[g], stepC, cosine[g] * stepS);
        const typename T::Vec c = MulAdd<T>(cosine[g], stepC, -(sine[g] * stepS));
        sine[g] = s;
        cosine[g] = c;
    }
}

// The lanes of `value` within `bound` of a nonzero integer: truncation
// toward zero changes only at nonzero integers, so only those lanes can
// truncate differently from the scalar path's values.
template <typename T>
typename T::Mask NearNonzeroInteger(typename T::Vec value, double bound) {
    using Vec = typename T::Vec;
    using Mask = typename T::Mask;
    const Vec nearest = Round<T>(value);
    const Vec distance =
        __builtin_bit_cast(Vec, __builtin_bit_cast(Mask, value - nearest) & Fill<Mask>(INT64_MAX));
    return (distance <= bound) & (nearest != 0.0);
}

// value with its first `lanes` lanes (all when more) replaced by
// substitute's. Kept out of line, as ListNear: a lane written or read one at
// a time would keep every value of the stride in memory rather than in
// registers.
template <typename T>
[[gnu::noinline]] typename T::Vec Substituted(typename T::Vec value, const double* substitute,
                                              int32_t lanes) {
    for (int32_t k = 0; k < T::LANES && k < lanes; ++k) value[k] = substitute[k];
    return value;
}

// Appends to recheck[listed ..] the index base + k of each lane k of value
// within bound of a nonzero integer, below count; returns the new length.
template <typename T>
[[gnu::noinline]] int32_t ListNear(typename T::Vec value, double bound, int32_t base, int32_t count,
                                   int32_t* recheck, int32_t listed) {
    const typename T::Mask near = NearNonzeroInteger<T>(value, bound);
    for (int32_t k = 0; k < T::LANES; ++k) {
        if (near[k] != 0 && base + k < count) recheck[listed++] = base + k;
    }
    return listed;
}

// Which lanes NearNonzeroInteger finds, in the form the instruction set
// tests fastest: AVX-512 compares into a bit per lane, the others into a mask.
#if defined(__AVX512F__)
template <typename T>
using NearLanes = std::conditional_t<T::LANES == 8, unsigned, typename T::Mask>;
#else
template <typename T>
using NearLanes = typename T::Mask;
#endif

template <typename T>
NearLanes<T> NearNonzeroLanes(typename T::Vec value, double bound) {
#if defined(__AVX512F__)
    if constexpr (T::LANES == 8) {
        using Mask = typename T::Mask;
        // The same tests: |value - nearest| <= bound where nearest != 0.
        const __m512d nearest = Round<T>(value);
        const __mmask8 nonzero = _mm512_cmp_pd_mask(nearest, _mm512_setzero_pd(), _CMP_NEQ_UQ);
        const __m512d distance = __builtin_bit_cast(
            __m512d, __builtin_bit_cast(Mask, value - nearest) & Fill<Mask>(INT64_MAX));
        return _mm512_mask_cmp_pd_mask(nonzero, distance, _mm512_set1_pd(bound), _CMP_LE_OQ);
    } else
#endif
    {
        return NearNonzeroInteger<T>(value, bound);
    }
}

template <typename T>
bool AnyNear(NearLanes<T> lanes) {
    if constexpr (std::is_same_v<NearLanes<T>, unsigned>) {
        return lanes != 0;
    } else {
        return AnyLane<T>(lanes);
    }
}

// The envelope level of the samples base .. base + LANES - 1 (indices
// `index`, times t). A sample's phase is decided by its index against the
// first index of each later phase, exactly the scalar path's tests on i /
// rate; within a phase each division by the phase's length is a
// multiplication by its reciprocal. A phase's formula is computed only when
// some lane is in it; a phase of zero length is never selected.
template <typename T>
[[gnu::always_inline]] inline typename T::Vec EnvelopeOf(double base, typename T::Vec index,
                                                         typename T::Vec t, const NoteJob& job) {
    using Vec = typename T::Vec;
    const InstrumentVoice& voice = *job.voice;
    const double last = base + (T::LANES - 1);
    if (last < job.decayFrom) return t * job.perAttack;
    Vec level = Fill<Vec>(voice.sustain);
    if (last >= job.releaseFrom) {
        const Vec releasing = (1.0 - (t - job.releaseStart) * job.perRelease) * voice.sustain;
        level = base >= job.releaseFrom ? releasing
                                        : Select<T>(index < job.releaseFrom, level, releasing);
    }
    if (base < job.sustainFrom) {
        const Vec decaying = 1.0 - (1.0 - voice.sustain) * ((t - voice.attack) * job.perDecay);
        level =
            last < job.sustainFrom ? decaying : Select<T>(index < job.sustainFrom, decaying, level);
    }
    if (base < job.decayFrom) level = Select<T>(index < job.decayFrom, t * job.perAttack, level);
    return level;
}

// Stores the first `lanes` of `value`: truncated toward zero into out, and as
// doubles into values when the caller asked for them.
template <typename T>
void StoreLanes(typename T::Vec value, int32_t lanes, int16_t* out, double* values) {
    const auto halves = __builtin_convertvector(__builtin_convertvector(value, typename T::Words),
                                                typename T::Halves);
    if (lanes == T::LANES) {
        std::memcpy(out, &halves, sizeof halves);
    } else {
        std::memcpy(out, &halves, sizeof(int16_t) * static_cast<size_t>(lanes));
    }
    if (values != nullptr) std::memcpy(values, &value, sizeof(double) * static_cast<size_t>(lanes));
}

// a's lanes followed by b's, in one vector twice as wide.
template <typename V, size_t... K>
[[gnu::always_inline]] inline auto Join(V a, V b, std::index_sequence<K...> /*lanes*/) {
    return __builtin_shufflevector(a, b, K...);
}

// Stores 2 x LANES samples, a's then b's, truncated toward zero as
// StoreLanes does: a whole stride's store takes no length tests and no trip
// through memory, and the narrowing packs two vectors at once.
template <typename T>
[[gnu::always_inline]] inline void StorePair(typename T::Vec a, typename T::Vec b, int16_t* out) {
    using Words = typename T::Words;
    const auto words = Join(__builtin_convertvector(a, Words), __builtin_convertvector(b, Words),
                            std::make_index_sequence<2 * static_cast<size_t>(T::LANES)>{});
    typedef int16_t Halves __attribute__((vector_size(4 * T::LANES)));
    const Halves halves = __builtin_convertvector(words, Halves);
    std::memcpy(out, &halves, sizeof halves);
}

// One loop for each kind of voice: with the vibrato, or a fixed fundamental.
// Compiled apart, neither carries the other's vectors, which leaves the
// compilers more registers for its own.
template <typename T, bool VIBRATO>
int32_t RenderSamplesWith(const NoteJob& job, int32_t first, int32_t count, int16_t* out,
                          int32_t* recheck) {
    using Vec = typename T::Vec;
    constexpr int N = T::LANES;
    constexpr int G = T::GROUP;
    constexpr auto SLOTS = static_cast<size_t>(G);  // array length of G
    constexpr int32_t STRIDE = N * G;
    static_assert(STRIDE <= MAX_STRIDE, "the error bound assumes at most MAX_STRIDE");
    static_assert(G % 2 == 0, "whole strides are stored two vectors at a time");
    const InstrumentVoice& voice = *job.voice;
    const int32_t degree = voice.harmonicCount - 1;
    // t = i x (1 / rate): the scalar path's i / rate to within 2u relative;
    // the envelope's phases use the index, so they are exactly the scalar's.
    const Vec inverseRate = Fill<Vec>(1.0 / static_cast<double>(job.sampleRate));
    const Vec lanes = Iota<T>(0.0);
    int32_t listed = 0;
    Vec sine[SLOTS]{};
    Vec cosine[SLOTS]{};
    Vec wobble[SLOTS]{};  // the vibrato's sine and cosine
    Vec wobbleCosine[SLOTS]{};
    int32_t sinceAnchor = ROTATIONS_PER_ANCHOR;
    // Each lane's offset in the stride: indices are whole numbers far below
    // 2^53, so every sum of them is exact.
    Vec offset[SLOTS];
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g) offset[g] = lanes + static_cast<double>(g * N);
    for (int32_t at = 0; at < count; at += STRIDE) {
        const double start = static_cast<double>(first + at);
        Vec index[SLOTS];
        Vec t[SLOTS];
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            index[g] = offset[g] + start;
            t[g] = index[g] * inverseRate;
        }
        const bool anchor = sinceAnchor == ROTATIONS_PER_ANCHOR;
        sinceAnchor = anchor ? 0 : sinceAnchor + 1;
        if constexpr (VIBRATO) {
            // The vibrato bends the frequency that multiplies t, as in the
            // scalar path; its own sine turns at a fixed rate, so it is
            // rotated like a fixed fundamental.
            Vec turns[SLOTS];
            if (anchor) {
#pragma GCC unroll 8
                for (int g = 0; g < G; ++g) turns[g] = t[g] * voice.vibratoRate;
                SinCosTurns<T>(turns, wobble, wobbleCosine);
            } else {
                Rotate<T>(wobble, wobbleCosine, job.vibratoStepSine, job.vibratoStepCosine);
            }
            // f + (D f) sin: D f is rounded once per note, the sum once
            // more where fused.
            const Vec swing = Fill<Vec>(job.vibratoSwing);
            const Vec frequency = Fill<Vec>(job.frequency);
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g) turns[g] = MulAdd<T>(swing, wobble[g], frequency) * t[g];
            SinCosTurns<T>(turns, sine, cosine);
        } else if (anchor) {
            Vec turns[SLOTS];
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g) turns[g] = t[g] * job.frequency;
            SinCosTurns<T>(turns, sine, cosine);
        } else {
            // A fixed fundamental advances by the same angle every stride.
            Rotate<T>(sine, cosine, job.stepSine, job.stepCosine);
        }
        // sum_j a_j sin((j + 1) x) = sin x sum_j a_j U_j(cos x): one product
        // and one sum per harmonic, by Horner's rule in cos x.
        Vec mix[SLOTS];
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) mix[g] = Fill<Vec>(job.mixPolynomial[degree]);
        for (int32_t k = degree - 1; k >= 0; --k) {
            const Vec coefficient = Fill<Vec>(job.mixPolynomial[k]);
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g) mix[g] = MulAdd<T>(mix[g], cosine[g], coefficient);
        }
        Vec value[SLOTS];
        NearLanes<T> anyNear{};
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            const double base = start + static_cast<double>(g * N);
            value[g] = (sine[g] * mix[g]) * EnvelopeOf<T>(base, index[g], t[g], job);
            if (job.substitute != nullptr)
                value[g] =
                    Substituted<T>(value[g], job.substitute + (at + g * N), count - at - g * N);
            anyNear |= NearNonzeroLanes<T>(value[g], job.recheckBound);
        }
        if (at + STRIDE <= count && job.values == nullptr) {
            // A whole stride: the values stay in registers and two vectors
            // are truncated and narrowed together.
#pragma GCC unroll 8
            for (int g = 0; g < G; g += 2) {
                const int32_t base = at + g * N;
                StorePair<T>(value[g], value[g + 1], out + base);
            }
        } else {
            for (int g = 0; g < G; ++g) {
                const int32_t base = at + g * N;
                if (base >= count) break;
                const int32_t size = count - base < N ? count - base : N;
                StoreLanes<T>(value[g], size, out + base,
                              job.values != nullptr ? job.values + base : nullptr);
            }
        }
        if (AnyNear<T>(anyNear)) {
            // Rare: the lanes are found again rather than kept for every stride.
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g)
                listed =
                    ListNear<T>(value[g], job.recheckBound, at + g * N, count, recheck, listed);
        }
    }
    return listed;
}

template <typename T>
int32_t RenderSamplesOf(const NoteJob& job, int32_t first, int32_t count, int16_t* out,
                        int32_t* recheck) {
    return job.voice->vibratoEnabled != 0
               ? RenderSamplesWith<T, true>(job, first, count, out, recheck)
               : RenderSamplesWith<T, false>(job, first, count, out, recheck);
}

// The kernel of lanes x group T, described by the template itself.
template <typename T>
constexpr NoteKernel KernelOf(const char* name) noexcept {
    return {name, RenderSamplesOf<T>, T::LANES, T::GROUP, T::LANES * T::GROUP, FUSED<T>};
}

}  // namespace
}  // namespace tolvimo

// The kernel, written once over a vector type's operations. Included by one
// source file per instruction set, each compiled for that set.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "synthesis/fast/note_kernels.h"
#include "synthesis/render_note.h"

namespace tolvimo {

// V provides Vec, Mask, LANES, GROUP (vectors kept in flight) and: Set(x);
// Iota(base) = {base, base + 1, ...}; Add, Sub, Mul; Sin;
// SinCos(x, sin, cos); AnyOf(mask), AllOf(mask); Less(a, b) -> Mask;
// Select(mask, a, b); NearStep(value, bound) -> bit k set when lane k lies
// within bound of a nonzero integer; StoreTruncated(out, v) storing LANES
// int16 truncated toward zero. Every arithmetic operation is one IEEE
// operation.

// x rounded to the nearest whole number (ties to even), for |x| < 2^51:
// adding and subtracting 1.5 x 2^52 drops every fraction bit.
template <typename V>
typename V::Vec Round(typename V::Vec x) {
    const auto shift = V::Set(ROUNDING_SHIFT);
    return V::Sub(V::Add(x, shift), shift);
}

// The angle of `turns` full turns, brought into [-pi, pi]: the whole turns
// are dropped before the multiplication by 2pi. turns - Round(turns) is exact
// (for a nonzero nearest whole number k, turns lies within a factor of two of
// k), so the only rounding is that of the product, below ulp(pi) / 2.
template <typename V>
typename V::Vec AngleOfTurns(typename V::Vec turns) {
    return V::Mul(V::Sub(turns, Round<V>(turns)), V::Set(TWO_PI));
}

// The envelope level of the samples at `index` (times t). The phase of a
// sample is decided by its index against the first index of each later phase,
// which gives exactly the scalar path's tests on i / rate; within a phase each
// division by the phase's length becomes a multiplication with its reciprocal
// (within 160u of the scalar level; see RECHECK_BOUND). A phase's formula is
// computed only when some lane is in it; lanes of a phase of zero length never
// select it.
template <typename V>
typename V::Vec EnvelopeOf(typename V::Vec index, typename V::Vec t, const NoteJob& job) {
    using Vec = typename V::Vec;
    const InstrumentVoice& voice = *job.voice;
    const auto inAttack = V::Less(index, V::Set(job.decayFrom));
    const auto inDecay = V::Less(index, V::Set(job.sustainFrom));
    const auto inSustain = V::Less(index, V::Set(job.releaseFrom));
    Vec level = V::Set(voice.sustain);
    if (!V::AllOf(inSustain)) {
        const Vec releasing = V::Mul(V::Sub(V::Set(1.0), V::Mul(V::Sub(t, V::Set(job.releaseStart)),
                                                                V::Set(job.perRelease))),
                                     V::Set(voice.sustain));
        level = V::Select(inSustain, level, releasing);
    }
    if (V::AnyOf(inDecay)) {
        const Vec decaying = V::Sub(
            V::Set(1.0), V::Mul(V::Set(1.0 - voice.sustain),
                                V::Mul(V::Sub(t, V::Set(voice.attack)), V::Set(job.perDecay))));
        level = V::Select(inDecay, decaying, level);
    }
    if (V::AnyOf(inAttack)) {
        level = V::Select(inAttack, V::Mul(t, V::Set(job.perAttack)), level);
    }
    return level;
}

// Stores the first `lanes` of `value`: truncated into out, and as doubles
// into values when the caller asked for them.
template <typename V>
void StoreLanes(typename V::Vec value, int32_t lanes, int16_t* out, double* values) {
    if (lanes == V::LANES) {
        V::StoreTruncated(out, value);
    } else {
        int16_t tail[V::LANES];
        V::StoreTruncated(tail, value);
        std::memcpy(out, tail, sizeof(int16_t) * static_cast<size_t>(lanes));
    }
    if (values != nullptr) {
        double all[V::LANES];
        std::memcpy(all, &value, sizeof all);
        std::memcpy(values, all, sizeof(double) * static_cast<size_t>(lanes));
    }
}

// The harmonic sum  sum_j a_j sin((j + 1) x)  from sin x and cos x alone, by
// Clenshaw's recurrence over the sine series:
//   b_k = (a_k - b_(k+2)) + 2 cos x b_(k+1),  from k = H down to 1,  sum = b_1 sin x.
// One multiplication, one addition and one subtraction per harmonic instead
// of a sine. Each step waits for the one before, so GROUP independent vectors
// are advanced together to keep the arithmetic units busy.
template <typename V>
void HarmonicSums(const InstrumentVoice& voice, const typename V::Vec (&sine)[V::GROUP],
                  const typename V::Vec (&cosine)[V::GROUP], typename V::Vec (&sum)[V::GROUP]) {
    using Vec = typename V::Vec;
    const int32_t last = voice.harmonicCount - 1;
    Vec twoCos[V::GROUP];
    Vec next[V::GROUP];   // b_(k+1)
    Vec after[V::GROUP];  // b_(k+2)
#pragma GCC unroll 8
    for (int g = 0; g < V::GROUP; ++g) {
        twoCos[g] = V::Add(cosine[g], cosine[g]);
        next[g] = V::Set(voice.harmonics[last]);
        after[g] = V::Set(0.0);
    }
    for (int32_t j = last - 1; j >= 0; --j) {
        const Vec amplitude = V::Set(voice.harmonics[j]);
#pragma GCC unroll 8
        for (int g = 0; g < V::GROUP; ++g) {
            // a_k - b_(k+2) is ready a step early; only the product and one
            // addition wait for b_(k+1).
            const Vec b = V::Add(V::Sub(amplitude, after[g]), V::Mul(twoCos[g], next[g]));
            after[g] = next[g];
            next[g] = b;
        }
    }
#pragma GCC unroll 8
    for (int g = 0; g < V::GROUP; ++g) sum[g] = V::Mul(next[g], sine[g]);
}

// Rotations between two direct evaluations of a fundamental's sine and
// cosine, when the fundamental's frequency is fixed.
constexpr int32_t ROTATIONS_PER_ANCHOR = 15;

// sin and cos of the angle by which a fixed fundamental advances over
// `samples` samples, whole turns dropped.
inline void StepRotation(double frequency, int32_t samples, int32_t sampleRate, double& sine,
                         double& cosine) {
    double turns = frequency * static_cast<double>(samples) / static_cast<double>(sampleRate);
    turns -= std::nearbyint(turns);
    sine = std::sin(turns * TWO_PI);
    cosine = std::cos(turns * TWO_PI);
}

template <typename V>
int32_t RenderSamplesOf(const NoteJob& job, int32_t first, int32_t count, int16_t* out,
                        int32_t* recheck) {
    using Vec = typename V::Vec;
    constexpr int32_t STRIDE = V::GROUP * V::LANES;
    int32_t listed = 0;
    const InstrumentVoice& voice = *job.voice;
    // t = i x (1 / rate): the scalar path's i / rate to within 2u relative;
    // the envelope's phases use the index, so they are exactly the scalar's.
    const Vec inverseRate = V::Set(1.0 / static_cast<double>(job.sampleRate));
    const Vec bound = V::Set(job.recheckBound);
    // The mean of the harmonics by multiplication: a division costs several
    // times as much, and the product is one rounding further from the
    // scalar quotient (see RECHECK_BOUND).
    const Vec inverseCount = V::Set(1.0 / static_cast<double>(voice.harmonicCount));
    // Without vibrato the fundamental's angle advances by the same step from
    // one sample to the next, so its sine and cosine are carried forward by
    // rotation and evaluated directly only every ROTATIONS_PER_ANCHOR + 1
    // strides.
    const bool rotate = voice.vibratoEnabled == 0;
    double stepSine = 0.0;
    double stepCosine = 1.0;
    if (rotate) StepRotation(job.frequency, STRIDE, job.sampleRate, stepSine, stepCosine);
    const Vec rotationSine = V::Set(stepSine);
    const Vec rotationCosine = V::Set(stepCosine);
    Vec sine[V::GROUP]{};
    Vec cosine[V::GROUP]{};
    int32_t sinceAnchor = ROTATIONS_PER_ANCHOR;
    for (int32_t at = 0; at < count; at += STRIDE) {
        Vec index[V::GROUP];
        Vec t[V::GROUP];
#pragma GCC unroll 8
        for (int g = 0; g < V::GROUP; ++g) {
            index[g] = V::Iota(static_cast<double>(first + at + g * V::LANES));
            t[g] = V::Mul(index[g], inverseRate);
        }
        if (rotate && sinceAnchor < ROTATIONS_PER_ANCHOR) {
#pragma GCC unroll 8
            for (int g = 0; g < V::GROUP; ++g) {
                const Vec s =
                    V::Add(V::Mul(sine[g], rotationCosine), V::Mul(cosine[g], rotationSine));
                const Vec c =
                    V::Sub(V::Mul(cosine[g], rotationCosine), V::Mul(sine[g], rotationSine));
                sine[g] = s;
                cosine[g] = c;
            }
            ++sinceAnchor;
        } else {
#pragma GCC unroll 8
            for (int g = 0; g < V::GROUP; ++g) {
                Vec f = V::Set(job.frequency);
                if (!rotate) {
                    const Vec wobble =
                        V::Sin(AngleOfTurns<V>(V::Mul(V::Set(voice.vibratoRate), t[g])));
                    f = V::Mul(V::Add(V::Set(1.0), V::Mul(V::Set(voice.vibratoDepth), wobble)), f);
                }
                // The fundamental's phase f x t in turns; every harmonic's
                // angle is a whole multiple of it, so whole turns drop out.
                V::SinCos(AngleOfTurns<V>(V::Mul(f, t[g])), sine[g], cosine[g]);
            }
            sinceAnchor = 0;
        }
        Vec sum[V::GROUP];
        HarmonicSums<V>(voice, sine, cosine, sum);

        for (int g = 0; g < V::GROUP; ++g) {
            const int32_t base = at + g * V::LANES;
            if (base >= count) break;
            const Vec mix = V::Mul(sum[g], inverseCount);
            const Vec level = EnvelopeOf<V>(index[g], t[g], job);
            const Vec value =
                V::Mul(V::Mul(V::Mul(level, mix), V::Set(OUTPUT_GAIN)), V::Set(FULL_SCALE));
            const int32_t lanes = count - base < V::LANES ? count - base : V::LANES;
            const unsigned near = V::NearStep(value, bound);
            for (unsigned bits = near; bits != 0; bits &= bits - 1) {
                const int32_t k = base + std::countr_zero(bits);
                if (k < count) recheck[listed++] = k;
            }
            StoreLanes<V>(value, lanes, out + base,
                          job.values != nullptr ? job.values + base : nullptr);
        }
    }
    return listed;
}

}  // namespace tolvimo

// The kernel, written once over a vector type's operations. Included by one
// source file per instruction set, each compiled for that set.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "synthesis/fast/note_kernels.h"
#include "synthesis/render_note.h"

namespace tolvimo {

// V provides Vec, Mask, LANES and: Set(x); Iota(base) = {base, base + 1,
// ...}; Add, Sub, Mul, Div; Round (to nearest, for |x| < 2^51); Sin;
// AnyOf(mask), AllOf(mask); Less(a, b) -> Mask;
// Select(mask, a, b); NearStep(value, bound) -> bit k set when lane k lies within bound of a
// nonzero integer; StoreTruncated(out, v) storing LANES int16 truncated
// toward zero. Every arithmetic operation is one IEEE operation.
// sin has period 2pi, so subtracting k x 2pi leaves the sine unchanged; with
// k the whole number nearest x / 2pi the argument comes into about [-pi, pi],
// where the vector sine takes its shortest path. Every argument here is
// x = u x 2pi, so k is taken as the integer nearest u. 2pi is split in two:
// HIGH has 30 significant bits, so k x HIGH is exact for k < 2^23
// (|x| < 5e7), and x - k x HIGH is exact (for k >= 1 the operands are within
// a factor of two); LOW is the double nearest 2pi - HIGH. The reduced
// argument is within 2.3e-16 of x - 2pi k: one rounding of a result below
// 4, plus k x LOW's rounding and the 6.6e-26 by which HIGH + LOW misses 2pi,
// both below 1e-19 for the arguments here.
constexpr double TWO_PI_HIGH = 0x1.921fb54000000p+2;
constexpr double TWO_PI_LOW = 0x1.10b4611a62633p-28;

// sin(u x 2pi), the product rounded as the scalar path rounds it.
template <typename V>
typename V::Vec SinOfTurns(typename V::Vec u) {
    const auto x = V::Mul(u, V::Set(TWO_PI));
    const auto k = V::Round(u);
    return V::Sin(V::Sub(V::Sub(x, V::Mul(k, V::Set(TWO_PI_HIGH))), V::Mul(k, V::Set(TWO_PI_LOW))));
}

template <typename V>
typename V::Vec EnvelopeOf(typename V::Vec t, const InstrumentVoice& voice, double duration) {
    using Vec = typename V::Vec;
    // Each phase's formula is computed only when some lane is in that phase
    // (a division costs as much as several sines' worth of other work); a
    // lane takes the value of its own phase. Lanes not in a phase may divide
    // by its zero length there; those results are discarded.
    const Vec attack = V::Set(voice.attack);
    const double releaseStart = duration - voice.release;
    const auto inAttack = V::Less(t, attack);
    const auto inDecay = V::Less(t, V::Set(voice.attack + voice.decay));
    const auto inSustain = V::Less(t, V::Set(releaseStart));
    Vec level = V::Set(voice.sustain);
    if (!V::AllOf(inSustain)) {
        const Vec releasing = V::Mul(
            V::Sub(V::Set(1.0), V::Div(V::Sub(t, V::Set(releaseStart)), V::Set(voice.release))),
            V::Set(voice.sustain));
        level = V::Select(inSustain, level, releasing);
    }
    if (V::AnyOf(inDecay)) {
        const Vec decaying = V::Sub(
            V::Set(1.0),
            V::Mul(V::Set(1.0 - voice.sustain), V::Div(V::Sub(t, attack), V::Set(voice.decay))));
        level = V::Select(inDecay, decaying, level);
    }
    if (V::AnyOf(inAttack)) level = V::Select(inAttack, V::Div(t, attack), level);
    return level;
}

template <typename V>
int32_t RenderSamplesOf(const NoteJob& job, int32_t first, int32_t count, int16_t* out,
                        int32_t* recheck) {
    int32_t listed = 0;
    using Vec = typename V::Vec;
    const InstrumentVoice& voice = *job.voice;
    const Vec rate = V::Set(static_cast<double>(job.sampleRate));
    const Vec bound = V::Set(job.recheckBound);
    for (int32_t at = 0; at < count; at += V::LANES) {
        const Vec t = V::Div(V::Iota(static_cast<double>(first + at)), rate);
        Vec f = V::Set(job.frequency);
        if (voice.vibratoEnabled != 0) {
            const Vec wobble = SinOfTurns<V>(V::Mul(V::Set(voice.vibratoRate), t));
            f = V::Mul(V::Add(V::Set(1.0), V::Mul(V::Set(voice.vibratoDepth), wobble)), f);
        }
        Vec sum = V::Set(0.0);
        for (int32_t j = 0; j < voice.harmonicCount; ++j) {
            // (j + 1) x f, then x t, then x 2pi. Without vibrato f is the
            // note's frequency in every lane and the first product a scalar.
            const Vec harmonicFrequency = voice.vibratoEnabled != 0
                                              ? V::Mul(V::Set(static_cast<double>(j + 1)), f)
                                              : V::Set(static_cast<double>(j + 1) * job.frequency);
            const Vec sine = SinOfTurns<V>(V::Mul(harmonicFrequency, t));
            sum = V::Add(sum, V::Mul(V::Set(voice.harmonics[j]), sine));
        }
        const Vec mix = V::Div(sum, V::Set(static_cast<double>(voice.harmonicCount)));
        const Vec level = EnvelopeOf<V>(t, voice, job.duration);
        const Vec value =
            V::Mul(V::Mul(V::Mul(level, mix), V::Set(OUTPUT_GAIN)), V::Set(FULL_SCALE));

        const unsigned near = V::NearStep(value, bound);
        for (unsigned lanes = near; lanes != 0; lanes &= lanes - 1) {
            const int32_t k = at + std::countr_zero(lanes);
            if (k < count) recheck[listed++] = k;
        }
        if (count - at >= V::LANES) {
            V::StoreTruncated(out + at, value);
        } else {
            int16_t tail[V::LANES];
            V::StoreTruncated(tail, value);
            std::memcpy(out + at, tail, sizeof(int16_t) * static_cast<size_t>(count - at));
        }
    }
    return listed;
}

}  // namespace tolvimo

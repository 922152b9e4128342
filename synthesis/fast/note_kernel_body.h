// The kernel, written once over a vector type's operations. Included by one
// source file per instruction set, each compiled for that set.
#pragma once

#include <cstdint>
#include <cstring>

#include "synthesis/fast/note_kernels.h"
#include "synthesis/render_note.h"

namespace tolvimo {

// V provides Vec, Mask, LANES and: Set(x); Iota(base) = {base, base + 1,
// ...}; Add, Sub, Mul, Div; Sin; Less(a, b) -> Mask; Select(mask, a, b);
// NearStep(value, bound) -> bit k set when lane k lies within bound of a
// nonzero integer; StoreTruncated(out, v) storing LANES int16 truncated
// toward zero. Every arithmetic operation is one IEEE operation.
template <typename V>
typename V::Vec EnvelopeOf(typename V::Vec t, const InstrumentVoice& voice, double duration) {
    using Vec = typename V::Vec;
    // The four phases are all computed and the right one selected; those not
    // selected may divide by a zero length and are discarded.
    const Vec attack = V::Set(voice.attack);
    const Vec rising = V::Div(t, attack);
    const Vec decaying =
        V::Sub(V::Set(1.0),
               V::Mul(V::Set(1.0 - voice.sustain), V::Div(V::Sub(t, attack), V::Set(voice.decay))));
    const double releaseStart = duration - voice.release;
    const Vec releasing =
        V::Mul(V::Sub(V::Set(1.0), V::Div(V::Sub(t, V::Set(releaseStart)), V::Set(voice.release))),
               V::Set(voice.sustain));
    return V::Select(
        V::Less(t, attack), rising,
        V::Select(V::Less(t, V::Set(voice.attack + voice.decay)), decaying,
                  V::Select(V::Less(t, V::Set(releaseStart)), V::Set(voice.sustain), releasing)));
}

template <typename V>
void RenderSamplesOf(const NoteJob& job, int32_t first, int32_t count, int16_t* out,
                     uint8_t* recheck) {
    using Vec = typename V::Vec;
    const InstrumentVoice& voice = *job.voice;
    const Vec rate = V::Set(static_cast<double>(job.sampleRate));
    const Vec twoPi = V::Set(TWO_PI);
    const Vec bound = V::Set(job.recheckBound);
    for (int32_t at = 0; at < count; at += V::LANES) {
        const Vec t = V::Div(V::Iota(static_cast<double>(first + at)), rate);
        Vec f = V::Set(job.frequency);
        if (voice.vibratoEnabled != 0) {
            const Vec wobble = V::Sin(V::Mul(V::Mul(V::Set(voice.vibratoRate), t), twoPi));
            f = V::Mul(V::Add(V::Set(1.0), V::Mul(V::Set(voice.vibratoDepth), wobble)), f);
        }
        Vec sum = V::Set(0.0);
        for (int32_t j = 0; j < voice.harmonicCount; ++j) {
            const Vec x = V::Mul(V::Mul(V::Mul(V::Set(static_cast<double>(j + 1)), f), t), twoPi);
            sum = V::Add(sum, V::Mul(V::Set(voice.harmonics[j]), V::Sin(x)));
        }
        const Vec mix = V::Div(sum, V::Set(static_cast<double>(voice.harmonicCount)));
        const Vec level = EnvelopeOf<V>(t, voice, job.duration);
        const Vec value =
            V::Mul(V::Mul(V::Mul(level, mix), V::Set(OUTPUT_GAIN)), V::Set(FULL_SCALE));

        const unsigned near = V::NearStep(value, bound);
        for (int32_t k = 0; k < V::LANES; ++k) recheck[at + k] = (near >> k) & 1u;
        if (count - at >= V::LANES) {
            V::StoreTruncated(out + at, value);
        } else {
            int16_t tail[V::LANES];
            V::StoreTruncated(tail, value);
            std::memcpy(out + at, tail, sizeof(int16_t) * static_cast<size_t>(count - at));
        }
    }
}

}  // namespace tolvimo

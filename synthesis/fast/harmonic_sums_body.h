// The kernel, written once over a vector type's operations. Included by one
// source file per instruction set, each compiled for that set.
#pragma once

#include <cstdint>

#include "synthesis/instrument_voice.h"
#include "synthesis/render_note.h"

namespace tolvimo {

// V provides: Vec, LANES, Set(double), Iota(double base) = {base, base+1,
// ...}, Add, Mul, Div, Sin, Store. Every operation is one IEEE operation.
template <typename V>
void HarmonicSumsOf(const InstrumentVoice& voice, double frequency, int32_t sampleRate,
                    int32_t first, int32_t count, double* sums) {
    using Vec = typename V::Vec;
    const Vec rate = V::Set(static_cast<double>(sampleRate));
    const Vec twoPi = V::Set(TWO_PI);
    const Vec one = V::Set(1.0);
    for (int32_t at = 0; at < count; at += V::LANES) {
        const Vec t = V::Div(V::Iota(static_cast<double>(first + at)), rate);
        Vec f = V::Set(frequency);
        if (voice.vibratoEnabled != 0) {
            const Vec wobble = V::Sin(V::Mul(V::Mul(V::Set(voice.vibratoRate), t), twoPi));
            f = V::Mul(V::Add(one, V::Mul(V::Set(voice.vibratoDepth), wobble)), f);
        }
        Vec sum = V::Set(0.0);
        for (int32_t j = 0; j < voice.harmonicCount; ++j) {
            const Vec harmonic = V::Set(static_cast<double>(j + 1));
            const Vec x = V::Mul(V::Mul(V::Mul(harmonic, f), t), twoPi);
            sum = V::Add(sum, V::Mul(V::Set(voice.harmonics[j]), V::Sin(x)));
        }
        V::Store(sums + at, sum);
    }
}

}  // namespace tolvimo

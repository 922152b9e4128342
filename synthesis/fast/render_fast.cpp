#include "synthesis/fast/render_fast.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

#include "synthesis/fast/error_bounds.h"
#include "synthesis/fast/note_kernels.h"
#include "synthesis/render_note.h"

namespace tolvimo {
namespace {

// 2^-53: a rounding moves a result r by at most U |r|.
constexpr double U = 1.0 / 9007199254740992.0;

// The smallest sample index whose time i / sampleRate (computed as the scalar
// path computes it) is not below `time`. Times grow with the index, so the
// scalar test t < time is exactly i < this index.
double FirstSampleFrom(double time, int32_t sampleRate) {
    const double limit = 1e9;  // beyond every note; keeps the cast defined
    const double estimate = std::ceil(time * static_cast<double>(sampleRate));
    if (!(estimate < limit)) return limit;
    if (estimate < 0.0) return 0.0;
    auto i = static_cast<int32_t>(estimate);
    while (i > 0 && SampleTime(i - 1, sampleRate) >= time) --i;
    while (SampleTime(i, sampleRate) < time) ++i;
    return static_cast<double>(i);
}

// Samples per kernel call.
constexpr int32_t BLOCK = 1024;

// Coefficients of the Chebyshev polynomials of the second kind U_0 .. U_11
// (U_0 = 1, U_1 = 2c, U_(n+1) = 2c U_n - U_(n-1)): whole numbers below 2^12.
struct Chebyshev {
    double coefficient[VOICE_MAX_HARMONICS][VOICE_MAX_HARMONICS];
};

constexpr Chebyshev MakeChebyshev() {
    Chebyshev u{};
    u.coefficient[0][0] = 1.0;
    u.coefficient[1][1] = 2.0;
    for (int n = 1; n + 1 < VOICE_MAX_HARMONICS; ++n) {
        for (int k = 0; k < VOICE_MAX_HARMONICS; ++k) {
            const double doubled = k > 0 ? 2.0 * u.coefficient[n][k - 1] : 0.0;
            u.coefficient[n + 1][k] = doubled - u.coefficient[n - 1][k];
        }
    }
    return u;
}

constexpr Chebyshev CHEBYSHEV = MakeChebyshev();

// sin and cos of the angle by which `frequency` advances over `samples`
// samples.
void StepOf(double frequency, int32_t samples, int32_t sampleRate, double& sine, double& cosine) {
    const double angle = StepAngle(frequency, samples, sampleRate);
    sine = std::sin(angle);
    cosine = std::cos(angle);
}

// beta: how far one rotation step of `frequency` (at most MAX_STRIDE samples)
// may turn from the exact advance: its turns are within u (1 + 1e-4) f
// MAX_STRIDE / rate of exact, its angle rounds once (below 2u) and the double
// 2 pi falls short for at most half a turn (proof/check_error_bound.py).
double Beta(double frequency, int32_t sampleRate) {
    const double stepTurns =
        frequency * static_cast<double>(MAX_STRIDE) / static_cast<double>(sampleRate);
    return TWO_PI * 1.0001 * U * stepTurns + 0.5 * TWO_PI_SHORTFALL + 2.0 * U;
}

}  // namespace

double StepAngle(double frequency, int32_t samples, int32_t sampleRate) {
    double turns = frequency * static_cast<double>(samples) / static_cast<double>(sampleRate);
    turns -= std::nearbyint(turns);
    return turns * TWO_PI;
}

void FoldHarmonics(const InstrumentVoice& voice, double (&polynomial)[VOICE_MAX_HARMONICS]) {
    const double scale = (OUTPUT_GAIN * FULL_SCALE) / static_cast<double>(voice.harmonicCount);
    std::fill(std::begin(polynomial), std::end(polynomial), 0.0);
    for (int32_t j = 0; j < voice.harmonicCount; ++j) {
        const double g = voice.harmonics[j] * scale;
        for (int32_t k = 0; k <= j; ++k)
            polynomial[k] = polynomial[k] + g * CHEBYSHEV.coefficient[j][k];
    }
}

double NoteErrorBound(const InstrumentVoice& voice, double frequency, int32_t sampleRate,
                      int32_t count) {
    const double gain = OUTPUT_GAIN * FULL_SCALE;
    const int32_t h = voice.harmonicCount;
    const auto harmonics = static_cast<double>(h);
    const bool vibrato = voice.vibratoEnabled != 0;
    const double depth = vibrato ? voice.vibratoDepth : 0.0;
    // T, the longest time, and W, the most turns of the fundamental.
    const double longest = static_cast<double>(count) / static_cast<double>(sampleRate);
    const double turns = frequency * (1.0 + depth) * longest;
    double weighted = 0.0;   // sum_j g_j (j + 1): bounds |P| on [-1, 1]
    double slope = 0.0;      // sum_j g_j j (j + 1) (j + 2) / 3: bounds |P'| there
    double magnitude = 0.0;  // sum_j g_j sum_k |U_j[k]|: bounds sum_k |p_k|
    for (int32_t j = 0; j < h; ++j) {
        const double g = voice.harmonics[j] * gain / harmonics;
        const auto n = static_cast<double>(j);
        weighted += g * (n + 1.0);
        slope += g * n * (n + 1.0) * (n + 2.0) / 3.0;
        double coefficients = 0.0;
        for (int32_t k = 0; k <= j; ++k) coefficients += std::fabs(CHEBYSHEV.coefficient[j][k]);
        magnitude += g * coefficients;
    }
    // The fundamental's frequency: equal without vibrato; with it, the
    // vibrato sines' arguments differ by sigma_a, the sines by sigma, and f
    // by rho relative (1.0001 covers the products of 1 + u factors).
    double rho = 0.0;
    if (vibrato) {
        const double sigmaA =
            voice.vibratoRate * longest * (TWO_PI_SHORTFALL + TWO_PI * 6.0001 * U);
        const double sigma = sigmaA + U + ROTATED_PAIR_ERROR +
                             ROTATIONS_PER_ANCHOR * Beta(voice.vibratoRate, sampleRate);
        rho = (depth * sigma + 2.0 * U * depth + 4.0 * U * (1.0 + depth)) / (1.0 - depth) * 1.0001;
    }
    // A: the fundamental's angle (per unit of harmonic number).
    double angle = turns * (TWO_PI_SHORTFALL + TWO_PI * (7.0001 * U + rho));
    // The pair's distance from the sine and cosine of its angle, per
    // component: evaluated afresh each sample with vibrato (the series'
    // errors, in either order as the quarter turn swaps them), else rotated.
    double pair = std::max(SINE_ERROR * weighted + COSINE_ERROR * slope,
                           COSINE_ERROR * weighted + SINE_ERROR * slope);
    if (!vibrato) {
        angle += ROTATIONS_PER_ANCHOR * Beta(frequency, sampleRate);
        pair = ROTATED_PAIR_ERROR * (weighted + slope);
    }
    pair *= 1.0 + CHEBYSHEV_SLACK;
    // Horner's rule in cos x and the folded coefficients' roundings.
    const double polynomial = POLYNOMIAL_ERROR * U * magnitude;
    // The envelope, the scalar's sines and sum, the products on either side.
    double shortest = 1.0;
    if (voice.decay > 0.0 && voice.decay < shortest) shortest = voice.decay;
    if (voice.release > 0.0 && voice.release < shortest) shortest = voice.release;
    const double envelope = (ENVELOPE_ERROR + ENVELOPE_TIME_ERROR * longest / shortest) * U;
    const double fixed = gain * (envelope + SUM_ERROR * U);
    const double bound = weighted * angle + pair + polynomial + fixed;
    return 1.01 * bound;  // covers the roundings of this computation
}

double NoteRecheckBound(const InstrumentVoice& voice, double frequency, int32_t sampleRate,
                        int32_t count) {
    return RECHECK_MARGIN * NoteErrorBound(voice, frequency, sampleRate, count);
}

bool RenderNoteFast(int16_t* out, int32_t count, int32_t sampleRate, double frequency,
                    double duration, const InstrumentVoice& voice, double recheckBound) {
    // The widest kernel this CPU runs comes last.
    const NoteKernel* kernels[3] = {};
    const int32_t available = AvailableKernels(kernels);
    // Always true in a build without the vector path.
    // cppcheck-suppress knownConditionTrueFalse
    if (available == 0) return false;
    RenderNoteWith(*kernels[available - 1], out, count, sampleRate, frequency, duration, voice,
                   recheckBound);
    return true;
}

NoteJob NoteJobFor(const NoteKernel& kernel, int32_t count, int32_t sampleRate, double frequency,
                   double duration, const InstrumentVoice& voice, double recheckBound) {
    const double releaseStart = duration - voice.release;
    const double noteBound = NoteRecheckBound(voice, frequency, sampleRate, count);
    NoteJob job{};
    job.voice = &voice;
    job.frequency = frequency;
    job.vibratoSwing = voice.vibratoEnabled != 0 ? voice.vibratoDepth * frequency : 0.0;
    job.sampleRate = sampleRate;
    job.recheckBound = recheckBound > noteBound ? recheckBound : noteBound;
    FoldHarmonics(voice, job.mixPolynomial);
    StepOf(frequency, kernel.stride, sampleRate, job.stepSine, job.stepCosine);
    StepOf(voice.vibratoEnabled != 0 ? voice.vibratoRate : 0.0, kernel.stride, sampleRate,
           job.vibratoStepSine, job.vibratoStepCosine);
    job.decayFrom = FirstSampleFrom(voice.attack, sampleRate);
    job.sustainFrom = FirstSampleFrom(voice.attack + voice.decay, sampleRate);
    job.releaseFrom = FirstSampleFrom(releaseStart, sampleRate);
    job.releaseStart = releaseStart;
    job.perAttack = 1.0 / voice.attack;
    job.perDecay = 1.0 / voice.decay;
    job.perRelease = 1.0 / voice.release;
    return job;
}

void RenderNoteWith(const NoteKernel& kernel, int16_t* out, int32_t count, int32_t sampleRate,
                    double frequency, double duration, const InstrumentVoice& voice,
                    double recheckBound, double* values, const double* substitute) {
    NoteJob job = NoteJobFor(kernel, count, sampleRate, frequency, duration, voice, recheckBound);
    int32_t recheck[BLOCK];
    for (int32_t first = 0; first < count; first += BLOCK) {
        const int32_t size = count - first < BLOCK ? count - first : BLOCK;
        job.values = values != nullptr ? values + first : nullptr;  // before any recheck
        job.substitute = substitute != nullptr ? substitute + first : nullptr;
        const int32_t listed = kernel.render(job, first, size, out + first, recheck);
        for (int32_t r = 0; r < listed; ++r) {
            const int32_t i = first + recheck[r];
            out[i] = TruncateSample(NoteSampleValue(voice, frequency, duration, sampleRate, i));
        }
    }
}

int32_t AvailableKernels(const NoteKernel* (&kernels)[3]) {
    // The compiler runtime reads the CPU's features when the library loads;
    // this only looks them up.
    int32_t n = 0;
#if defined(TOLVIMO_FAST_PATH_X86)
    kernels[n++] = &KERNEL_PAIRS;
    if (!__builtin_cpu_supports("fma")) return n;
    if (__builtin_cpu_supports("avx2")) kernels[n++] = &KERNEL_AVX2;
    if (__builtin_cpu_supports("avx512f")) kernels[n++] = &KERNEL_AVX512;
#elif defined(TOLVIMO_FAST_PATH)
    kernels[n++] = &KERNEL_PAIRS;
#else
    (void)kernels;
#endif
    return n;
}

}  // namespace tolvimo

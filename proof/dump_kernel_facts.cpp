// Prints, as JSON, every number of the vector path that the error bound's
// proof depends on, exactly as this build compiled it (doubles as hexadecimal
// floats): the sine-cosine coefficients, the constants of error_bounds.h, the
// kernels' strides, and each preset voice with its folded polynomial.
// check_error_bound.py reads it, so the proof always concerns these values.
#include <cstdio>
#include <iterator>
#include <memory>

#include "notes/note_reader.h"
#include "request/request_limits.h"
#include "synthesis/fast/error_bounds.h"
#include "synthesis/fast/note_kernels.h"
#include "synthesis/fast/render_fast.h"
#include "synthesis/fast/sincos_coefficients.h"
#include "synthesis/instrument_presets.h"
#include "synthesis/preset_table.h"
#include "synthesis/render_note.h"

namespace tolvimo {
namespace {

void PrintList(const char* name, const double* values, int32_t count) {
    std::printf("\"%s\": [", name);
    for (int32_t k = 0; k < count; ++k) std::printf("%s\"%a\"", k > 0 ? ", " : "", values[k]);
    std::printf("],\n");
}

void PrintNumber(const char* name, double value) {
    std::printf("\"%s\": \"%a\",\n", name, value);
}

int Dump() {
    std::printf("{\n");
    PrintList("sine", SINE_TURNS, SINCOS_TERMS);
    PrintList("cosine", COSINE_TURNS, SINCOS_TERMS);
    PrintNumber("sine_error", SINE_ERROR);
    PrintNumber("cosine_error", COSINE_ERROR);
    PrintNumber("rotated_pair_error", ROTATED_PAIR_ERROR);
    PrintNumber("chebyshev_slack", CHEBYSHEV_SLACK);
    PrintNumber("polynomial_error", POLYNOMIAL_ERROR);
    PrintNumber("sum_error", SUM_ERROR);
    PrintNumber("envelope_error", ENVELOPE_ERROR);
    PrintNumber("envelope_time_error", ENVELOPE_TIME_ERROR);
    PrintNumber("two_pi", TWO_PI);
    PrintNumber("rounding_shift", ROUNDING_SHIFT);
    // What bounds the turns the sine-cosine reduces: the pitches the notes
    // can name (the lowest and highest spellings), the note's length, the
    // sample rates and the vibrato's depth.
    uint32_t at = 0;
    PrintNumber("lowest_pitch", ParseNote("Cb0b", at));
    at = 0;
    PrintNumber("highest_pitch", ParseNote("B#8#", at));
    PrintNumber("note_duration", NOTE_DURATION);
    PrintNumber("max_vibrato_depth", VOICE_MAX_VIBRATO_DEPTH);
    std::printf("\"min_rate\": %d,\n\"max_rate\": %d,\n", MIN_SAMPLE_RATE, MAX_SAMPLE_RATE);
    PrintNumber("two_pi_shortfall", TWO_PI_SHORTFALL);
    PrintNumber("output_gain", OUTPUT_GAIN);
    PrintNumber("full_scale", FULL_SCALE);
    std::printf("\"rotations_per_anchor\": %d,\n\"max_stride\": %d,\n\"max_harmonics\": %d,\n",
                ROTATIONS_PER_ANCHOR, MAX_STRIDE, VOICE_MAX_HARMONICS);
    // Every kernel built for this architecture, whether or not this CPU runs it.
    std::printf("\"strides\": [%d", KERNEL_PAIRS.stride);
#if defined(TOLVIMO_FAST_PATH_X86)
    std::printf(", %d, %d", KERNEL_AVX2.stride, KERNEL_AVX512.stride);
#endif
    std::printf("],\n\"voices\": [\n");
    for (uint32_t kind = 0; kind < INSTRUMENT_KIND_COUNT; ++kind) {
        const std::unique_ptr<InstrumentVoice, VoiceReleaser> voice(CreateVoice(kind));
        if (!voice) return 1;
        double polynomial[VOICE_MAX_HARMONICS];
        FoldHarmonics(*voice, polynomial);
        std::printf("{\"name\": \"%s\", \"vibrato\": %d,\n", PRESETS[kind].name,
                    voice->vibratoEnabled);
        PrintList("harmonics", voice->harmonics, voice->harmonicCount);
        PrintList("polynomial", polynomial, voice->harmonicCount);
        std::printf(
            "\"attack\": \"%a\", \"decay\": \"%a\", \"sustain\": \"%a\", "
            "\"release\": \"%a\", \"rate\": \"%a\",\n",
            voice->attack, voice->decay, voice->sustain, voice->release, voice->vibratoRate);
        std::printf("\"depth\": \"%a\"}%s\n", voice->vibratoDepth,
                    kind + 1 < INSTRUMENT_KIND_COUNT ? "," : "");
    }
    std::printf("]}\n");
    return 0;
}

}  // namespace
}  // namespace tolvimo

int main() {
    return tolvimo::Dump();
}

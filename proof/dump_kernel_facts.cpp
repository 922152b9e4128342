// Prints, as JSON, every number of the vector path that the error bound's
// proof depends on, exactly as this build compiled it (doubles as hexadecimal
// floats): the sine-cosine coefficients, the constants of error_bounds.h, the
// kernels (lanes, group, fusing, and the rotations between anchors of the
// fixed fundamental's pair and of the vibrato's, measured by running them),
// each preset voice with its folded polynomial, and NoteErrorBound over a
// grid of pitches and rates. check_error_bound.py reads
// it, so the proof always concerns these values. With --trace it prints
// instead what each kernel the dispatch picks on this CPU computes for a set
// of notes, the scalar path's values of the same samples and the rotation
// steps' angles of every stride, which kernel_model.py recomputes bit for bit;
// with --sines, the C library's sine of each double it reads.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "notes/note_reader.h"
#include "request/request_limits.h"
#include "synthesis/fast/error_bounds.h"
#include "synthesis/fast/note_kernels.h"
#include "synthesis/fast/render_fast.h"
#include "synthesis/fast/sincos_coefficients.h"
#include "synthesis/instrument_presets.h"
#include "synthesis/preset_table.h"
#include "synthesis/render_note.h"
#include "tests/cpu_report.h"

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

// Every kernel built for this architecture, whether or not this CPU runs it.
const NoteKernel* const BUILT[] = {
    &KERNEL_PAIRS,
#if defined(TOLVIMO_FAST_PATH_X86)
    &KERNEL_AVX2,
    &KERNEL_AVX512,
#endif
};

// The most rotations the kernel makes between two direct evaluations of a
// sine-cosine pair it rotates, seen by running it over one long call: with a
// step pair of zeros every rotated pair comes out zero. A fixed fundamental's
// strides then come out silent; so do a vibrato's, its own pair rotated,
// when the fundamental is left to the bend alone (frequency 0, so that the
// turns are (D f) x the vibrato's sine x t, and 0 when that sine is). Only
// strides with a freshly evaluated pair sound.
int32_t MeasuredRotations(const NoteKernel& kernel, bool vibrato) {
    uint32_t kind = 0;
    while (kind + 1 < INSTRUMENT_KIND_COUNT && (PRESETS[kind].vibrato != vibrato)) ++kind;
    const std::unique_ptr<InstrumentVoice, VoiceReleaser> voice(CreateVoice(kind));
    if ((voice->vibratoEnabled != 0) != vibrato) return -1;
    const int32_t strides = 200;
    const int32_t count = strides * kernel.stride;
    NoteJob job = NoteJobFor(kernel, count, 44100, 440.25, 1.0, *voice, 0.0);
    if (vibrato) {
        job.vibratoStepSine = job.vibratoStepCosine = 0.0;
        job.frequency = 0.0;
        job.vibratoSwing = 1000.25;
    } else {
        job.stepSine = job.stepCosine = 0.0;
    }
    job.decayFrom = job.sustainFrom = 0.0;  // the level is the sustain throughout
    job.releaseFrom = 1e9;
    std::vector<int16_t> out(static_cast<size_t>(count));
    std::vector<double> values(static_cast<size_t>(count));
    std::vector<int32_t> recheck(static_cast<size_t>(count));
    job.values = values.data();
    kernel.render(job, 0, count, out.data(), recheck.data());
    int32_t most = 0;
    int32_t run = 0;
    for (int32_t s = 0; s < strides; ++s) {
        bool silent = true;
        for (int32_t k = 0; k < kernel.stride; ++k)
            silent &= values[static_cast<size_t>(s * kernel.stride + k)] == 0.0;
        run = silent ? run + 1 : 0;
        most = run > most ? run : most;
    }
    return most;
}

// The pitches of every spelling the note reader accepts as one note: a
// letter, an optional sharp or flat, an optional digit and, after a digit,
// another sharp or flat (every digit is tried: the reader decides which are
// octaves).
struct Pitches {
    double lowest = 1e300;
    double highest = 0.0;
    int32_t spellings = 0;
};

Pitches EveryPitch() {
    Pitches out;
    const char* const accidentals[] = {"", "#", "b"};
    for (char letter = 'A'; letter <= 'G'; ++letter) {
        for (const char* first : accidentals) {
            std::vector<std::string> tokens = {std::string(1, letter) + first};
            for (char digit = '0'; digit <= '9'; ++digit) {
                for (const char* last : accidentals) tokens.push_back(tokens[0] + digit + last);
            }
            for (const std::string& token : tokens) {
                uint32_t at = 0;
                const double pitch = ParseNote(token.c_str(), at);
                if (pitch == NO_NOTE || at != token.size()) continue;  // not one note
                out.lowest = std::min(out.lowest, pitch);
                out.highest = std::max(out.highest, pitch);
                ++out.spellings;
            }
        }
    }
    return out;
}

// NoteErrorBound for every voice over pitches spread from the lowest the
// notes name to the highest and rates across the request's limits: the
// checker evaluates the bound's formula exactly and compares.
void PrintBounds() {
    const Pitches pitches = EveryPitch();
    const double lowest = pitches.lowest;
    const double highest = pitches.highest;
    const int32_t rates[] = {
        MIN_SAMPLE_RATE, MIN_SAMPLE_RATE + 1, 11025,          22050, 44100, 48000,
        96000,           MAX_SAMPLE_RATE - 1, MAX_SAMPLE_RATE};
    const int32_t steps = 12;
    std::printf("\"bounds\": [\n");
    const char* separator = "";
    for (uint32_t kind = 0; kind < INSTRUMENT_KIND_COUNT; ++kind) {
        const std::unique_ptr<InstrumentVoice, VoiceReleaser> voice(CreateVoice(kind));
        for (int32_t p = 0; p <= steps; ++p) {
            const double pitch =
                p == steps ? highest : lowest * std::pow(highest / lowest, p / double(steps));
            for (const int32_t rate : rates) {
                const int32_t count = NoteSampleCount(rate, NOTE_DURATION);
                std::printf("%s[%u, \"%a\", %d, %d, \"%a\"]", separator, kind, pitch, rate, count,
                            NoteErrorBound(*voice, pitch, rate, count));
                separator = ",\n";
            }
        }
    }
    std::printf("]\n");
}

// A stretch of a note through one kernel: the job it was given and the
// values it computed, for kernel_model.py.
void TraceCall(const NoteKernel& kernel, uint32_t kind, double pitch, int32_t rate, int32_t first,
               const char* separator) {
    const std::unique_ptr<InstrumentVoice, VoiceReleaser> voice(CreateVoice(kind));
    const int32_t n = NoteSampleCount(rate, NOTE_DURATION);
    NoteJob job = NoteJobFor(kernel, n, rate, pitch, NOTE_DURATION, *voice, 0.0);
    // One anchor, every rotation after it and the next anchor.
    const int32_t count = std::min((ROTATIONS_PER_ANCHOR + 2) * kernel.stride, n - first);
    std::vector<int16_t> out(static_cast<size_t>(count));
    std::vector<double> values(static_cast<size_t>(count));
    std::vector<int32_t> recheck(static_cast<size_t>(count));
    job.values = values.data();
    kernel.render(job, first, count, out.data(), recheck.data());
    std::printf("%s{\"kernel\": \"%s\", \"voice\": %u, \"first\": %d, \"rate\": %d, ", separator,
                kernel.name, kind, first, rate);
    PrintNumber("frequency", job.frequency);
    PrintList("polynomial", job.mixPolynomial, voice->harmonicCount);
    const double fields[] = {job.stepSine,          job.stepCosine,   job.vibratoStepSine,
                             job.vibratoStepCosine, job.decayFrom,    job.sustainFrom,
                             job.releaseFrom,       job.releaseStart, job.perAttack,
                             job.perDecay,          job.perRelease};
    PrintList("job", fields, static_cast<int32_t>(std::size(fields)));
    PrintList("values", values.data(), count);
    // The scalar path's values of the same samples.
    std::vector<double> scalar(static_cast<size_t>(count));
    for (int32_t k = 0; k < count; ++k)
        scalar[static_cast<size_t>(k)] =
            NoteSampleValue(*voice, pitch, NOTE_DURATION, rate, first + k);
    PrintList("scalar", scalar.data(), count);
    std::printf("\"end\": 0}");
}

// The rotation steps' angles for every kernel's stride, over pitches and
// vibrato rates at several sample rates.
void TraceSteps() {
    const Pitches pitches = EveryPitch();
    std::vector<double> frequencies = {
        pitches.lowest, pitches.highest, 261.6255653005986, 3951.066410048992, 27.5, 440.0};
    for (uint32_t kind = 0; kind < INSTRUMENT_KIND_COUNT; ++kind) {
        const std::unique_ptr<InstrumentVoice, VoiceReleaser> voice(CreateVoice(kind));
        if (voice->vibratoEnabled != 0) frequencies.push_back(voice->vibratoRate);
    }
    const int32_t rates[] = {MIN_SAMPLE_RATE, 11025, 22050, 44100, 48000, 96000, MAX_SAMPLE_RATE};
    std::printf("\"steps\": [");
    const char* separator = "";
    for (const NoteKernel* kernel : BUILT) {
        for (const double f : frequencies) {
            for (const int32_t rate : rates) {
                std::printf("%s[\"%a\", %d, %d, \"%a\"]", separator, f, kernel->stride, rate,
                            StepAngle(f, kernel->stride, rate));
                separator = ", ";
            }
        }
    }
    std::printf("],\n");
}

int Trace() {
    std::printf("{");
    TraceSteps();
    std::printf("\"calls\": [\n");
    const NoteKernel* runs[3] = {};
    const int32_t running = AvailableKernels(runs);
    const int32_t rates[] = {8000, 44100, 192000, 22050, 48000};
    const char* separator = "";
    for (int32_t k = 0; k < running; ++k) {
        const NoteKernel& kernel = *runs[k];
        for (uint32_t kind = 0; kind < INSTRUMENT_KIND_COUNT; ++kind) {
            const std::unique_ptr<InstrumentVoice, VoiceReleaser> voice(CreateVoice(kind));
            const int32_t rate = rates[kind % std::size(rates)];
            const double pitch = kind % 2 == 0 ? 261.6255653005986 : 3951.066410048992;
            const int32_t n = NoteSampleCount(rate, NOTE_DURATION);
            NoteJob job = NoteJobFor(kernel, n, rate, pitch, NOTE_DURATION, *voice, 0.0);
            // The start, and a little before each later phase (the middle of
            // a stride, so that one vector holds both phases).
            const double starts[] = {0.0, job.decayFrom, job.sustainFrom, job.releaseFrom};
            for (const double start : starts) {
                const double lead = 3.0 * kernel.stride + kernel.lanes / 2;
                const auto first = static_cast<int32_t>(std::fmax(0.0, std::fmin(start, n) - lead));
                TraceCall(kernel, kind, pitch, rate, first, separator);
                separator = ",\n";
            }
        }
    }
    std::printf("]}\n");
    return 0;
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
    const Pitches pitches = EveryPitch();
    PrintNumber("lowest_pitch", pitches.lowest);
    PrintNumber("highest_pitch", pitches.highest);
    std::printf("\"spellings\": %d,\n", pitches.spellings);
    PrintNumber("note_duration", NOTE_DURATION);
    PrintNumber("max_vibrato_depth", VOICE_MAX_VIBRATO_DEPTH);
    std::printf("\"min_rate\": %d,\n\"max_rate\": %d,\n", MIN_SAMPLE_RATE, MAX_SAMPLE_RATE);
    PrintNumber("two_pi_shortfall", TWO_PI_SHORTFALL);
    PrintNumber("output_gain", OUTPUT_GAIN);
    PrintNumber("full_scale", FULL_SCALE);
    std::printf("\"rotations_per_anchor\": %d,\n\"max_stride\": %d,\n\"max_harmonics\": %d,\n",
                ROTATIONS_PER_ANCHOR, MAX_STRIDE, VOICE_MAX_HARMONICS);
    std::printf("\"kernels\": [\n");
    const NoteKernel* runs[3] = {};
    const int32_t running = AvailableKernels(runs);
    for (size_t k = 0; k < std::size(BUILT); ++k) {
        const NoteKernel& kernel = *BUILT[k];
        const bool runnable = std::find(runs, runs + running, &kernel) != runs + running;
        const KernelNeeds needs = KernelNeedsOf(kernel.name);
        std::printf(
            "{\"name\": \"%s\", \"lanes\": %d, \"group\": %d, \"stride\": %d, "
            "\"fused\": %d, \"rotations\": %d, \"vibrato_rotations\": %d, \"runs\": %d, "
            "\"reported\": %d, \"needs\": \"%s\"}%s\n",
            kernel.name, kernel.lanes, kernel.group, kernel.stride, kernel.fused ? 1 : 0,
            runnable ? MeasuredRotations(kernel, false) : -1,
            runnable ? MeasuredRotations(kernel, true) : -1, runnable ? 1 : 0,
            needs.reported ? 1 : 0, needs.features.c_str(), k + 1 < std::size(BUILT) ? "," : "");
    }
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
    std::printf("],\n");
    PrintBounds();
    std::printf("}\n");
    return 0;
}

// The C library's sine of each hexadecimal double read, one a line: the
// model of the scalar path asks the target's, whatever machine it runs on.
int Sines() {
    char line[64];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        const double x = std::strtod(line, nullptr);
        std::printf("%a\n", std::sin(x));
    }
    return 0;
}

}  // namespace
}  // namespace tolvimo

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--trace") == 0) return tolvimo::Trace();
    if (argc > 1 && std::strcmp(argv[1], "--sines") == 0) return tolvimo::Sines();
    return tolvimo::Dump();
}

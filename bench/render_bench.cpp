// Rendering costs: notes per instrument on the vector and scalar paths (per
// sample and per harmonic per sample, beside the bare cost of std::sin over
// the same arguments), the note reader, and whole requests.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "TolvimoWAVInstruments.h"
#include "notes/note_reader.h"
#include "request/instrument_names.h"
#include "synthesis/fast/render_fast.h"
#include "synthesis/instrument_presets.h"
#include "synthesis/render_note.h"
#include "tests/utf16.h"

namespace tolvimo {
namespace {

using VoicePtr = std::unique_ptr<InstrumentVoice, VoiceReleaser>;
constexpr double NOTE_HZ = 440.0;

// Reports the time per sample and per harmonic per sample of each
// iteration's work.
void CountHarmonicSamples(benchmark::State& state, int32_t samples, int32_t harmonics) {
    const auto PER = benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert;
    state.counters["per_sample"] = benchmark::Counter(static_cast<double>(samples), PER);
    state.counters["per_harmonic_sample"] =
        benchmark::Counter(static_cast<double>(samples) * harmonics, PER);
}

void RenderNoteBench(benchmark::State& state, bool fast) {
    const auto kind = static_cast<uint32_t>(state.range(0));
    const auto rate = static_cast<int32_t>(state.range(1));
    const VoicePtr voice(CreateVoice(kind));
    const int32_t n = NoteSampleCount(rate, 0.5);
    std::vector<int16_t> out(static_cast<size_t>(n));
    for (auto _ : state) {
        if (!fast || !RenderNoteFast(out.data(), n, rate, NOTE_HZ, 0.5, *voice, RECHECK_BOUND)) {
            RenderNoteScalar(out.data(), n, rate, NOTE_HZ, 0.5, *voice);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(InstrumentName(kind));
    CountHarmonicSamples(state, n, voice->harmonicCount);
}

void BM_RenderNoteFast(benchmark::State& state) {
    RenderNoteBench(state, true);
}
void BM_RenderNoteScalar(benchmark::State& state) {
    RenderNoteBench(state, false);
}

// std::sin alone over a note's harmonic arguments (no vibrato, no envelope).
void BM_StdSin(benchmark::State& state) {
    const auto kind = static_cast<uint32_t>(state.range(0));
    const auto rate = static_cast<int32_t>(state.range(1));
    const VoicePtr voice(CreateVoice(kind));
    const int32_t n = NoteSampleCount(rate, 0.5);
    for (auto _ : state) {
        double sum = 0.0;
        for (int32_t i = 0; i < n; ++i) {
            const double t = SampleTime(i, rate);
            for (int32_t j = 0; j < voice->harmonicCount; ++j) {
                sum += std::sin(static_cast<double>(j + 1) * NOTE_HZ * t * TWO_PI);
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetLabel(InstrumentName(kind));
    CountHarmonicSamples(state, n, voice->harmonicCount);
}

void NoteArguments(benchmark::internal::Benchmark* bench) {
    for (int64_t kind = 0; kind < INSTRUMENT_KIND_COUNT; ++kind) {
        for (const int64_t rate : {44100, 192000}) bench->Args({kind, rate});
    }
}

BENCHMARK(BM_RenderNoteFast)->Apply(NoteArguments)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderNoteScalar)->Apply(NoteArguments)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdSin)->Apply(NoteArguments)->Unit(benchmark::kMillisecond);

void BM_ParseNote(benchmark::State& state) {
    const std::string text = "C#4Bb3A5Eb2G#6F0D8bBCDEFGAB";
    for (auto _ : state) {
        uint32_t position = 0;
        double total = 0.0;
        while (position < text.size()) total += ParseNote(text.c_str(), position);
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * 21);  // tokens in the text
}
BENCHMARK(BM_ParseNote);

std::string HeavyNotes() {
    std::ifstream in(TOLVIMO_BENCH_DIR "/heavy_notes.txt");
    std::string text;
    std::getline(in, text);
    return text;
}

// Request (b)'s 223 pitches.
std::vector<double> HeavyPitches() {
    const std::string text = HeavyNotes();
    std::vector<double> pitches;
    uint32_t position = 0;
    while (position < text.size()) pitches.push_back(ParseNote(text.c_str(), position));
    return pitches;
}

// Each kernel the CPU runs over request (b)'s pitches at 192000 Hz, and the
// share of samples it leaves for the scalar path to recompute.
void BM_Kernel(benchmark::State& state) {
    const NoteKernel* kernels[3] = {};
    const int32_t available = AvailableKernels(kernels);
    if (state.range(0) >= available) {
        state.SkipWithError("kernel not available on this CPU");
        return;
    }
    const NoteKernel& kernel = *kernels[state.range(0)];
    const auto kind = static_cast<uint32_t>(state.range(1));
    const VoicePtr voice(CreateVoice(kind));
    const int32_t rate = 192000;
    const int32_t n = NoteSampleCount(rate, 0.5);
    const std::vector<double> pitches = HeavyPitches();
    std::vector<int16_t> out(static_cast<size_t>(n));
    std::vector<double> values(static_cast<size_t>(n));
    double near = 0.0;
    for (const double pitch : pitches) {
        RenderNoteWith(kernel, out.data(), n, rate, pitch, 0.5, *voice, RECHECK_BOUND,
                       values.data());
        const double bound = NoteRecheckBound(*voice, pitch, rate, n);
        for (const double v : values) {
            const double nearest = std::nearbyint(v);
            if (nearest != 0.0 && std::fabs(v - nearest) <= bound) near += 1.0;
        }
    }
    for (auto _ : state) {
        for (const double pitch : pitches) {
            RenderNoteWith(kernel, out.data(), n, rate, pitch, 0.5, *voice, RECHECK_BOUND);
        }
        benchmark::DoNotOptimize(out.data());
    }
    const double samples = static_cast<double>(n) * static_cast<double>(pitches.size());
    state.SetLabel(std::string(kernel.name) + " " + InstrumentName(kind));
    state.counters["recheck_share"] = near / samples;
    CountHarmonicSamples(state, static_cast<int32_t>(samples), voice->harmonicCount);
}
BENCHMARK(BM_Kernel)
    ->ArgsProduct({{0, 1, 2}, {6, 4, 11, 3}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

std::string Repeated(const std::string& unit, size_t bytes) {
    std::string text;
    while (text.size() + unit.size() <= bytes) text += unit;
    return text + unit.substr(0, bytes - text.size());
}

// A whole request through the exported function, report discarded.
void Request(benchmark::State& state, const std::string& instrument, const std::string& notes,
             int32_t rate) {
    const tolvimo_test::Utf16 wideInstrument = tolvimo_test::ToUtf16(instrument);
    const tolvimo_test::Utf16 wideNotes = tolvimo_test::ToUtf16(notes);
    const std::string path = "/tmp/tolvimo-bench.wav";
    const tolvimo_test::Utf16 widePath = tolvimo_test::ToUtf16(path);
    // The report goes to /dev/null; the benchmark's own output is restored.
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            WAVInstruments(wideInstrument.c_str(), wideNotes.c_str(), rate, widePath.c_str()));
    }
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    close(null);
    std::remove(path.c_str());
}

void BM_RequestPianoScale(benchmark::State& state) {
    Request(state, "piano", "CDEFG", 44100);
}
void BM_RequestHeavyBell(benchmark::State& state) {
    Request(state, "bell", HeavyNotes(), 192000);
}
void BM_RequestRepeatedPiano(benchmark::State& state) {
    Request(state, "piano", Repeated("CDEFGAB", 994), 44100);
}
BENCHMARK(BM_RequestPianoScale)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RequestHeavyBell)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_RequestRepeatedPiano)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvimo

BENCHMARK_MAIN();

// The exported entry: checks a request, reads its notes, then renders and
// writes them one at a time.
#include <cstdio>
#include <memory>
#include <optional>

#include "TolvimoWAVInstruments.h"
#include "platform/text_conversion.h"
#include "request/instrument_names.h"
#include "request/note_plan.h"
#include "request/output_file.h"
#include "request/report.h"
#include "request/request_limits.h"
#include "request/stream_request.h"
#include "synthesis/instrument_presets.h"
#include "synthesis/render_note.h"

namespace tolvimo {
namespace {

using VoicePtr = std::unique_ptr<InstrumentVoice, VoiceReleaser>;
using SampleBufferPtr = std::unique_ptr<SampleBuffer, SampleBufferReleaser>;
using RenderedNotesPtr = std::unique_ptr<RenderedNotes, RenderedNotesReleaser>;

// Where a request's file and lines go: a named file, or an open stream
// shown in the lines as `shownName`.
struct Destination {
    const TolvimoUtf16* path;  // nullptr: `stream` takes the bytes
    std::FILE* stream;
    std::FILE* report;
    const char* shownName;
};

int32_t OutOfMemory(std::FILE* report) {
    std::fprintf(report, "Error: Not enough memory for the request\n");
    return TOLVIMO_STATUS_FAILED;
}

// A pointer argument that is null: nothing has been allocated yet. Returns
// the refusal's status, or nothing when every pointer is there.
std::optional<int32_t> CheckPresent(const TolvimoUtf16* instrument, const TolvimoUtf16* notes,
                                    const Destination& destination) {
    if (instrument == nullptr) {
        std::fprintf(destination.report, "Error: Unknown instrument (null pointer)\n");
        return TOLVIMO_STATUS_UNKNOWN_INSTRUMENT;
    }
    if (notes == nullptr) {
        std::fprintf(destination.report, "Error: Note text is missing (null pointer)\n");
        return TOLVIMO_STATUS_FAILED;
    }
    if (destination.path == nullptr && destination.stream == nullptr) {
        std::fprintf(destination.report, "Error: Output file path is missing (null pointer)\n");
        return TOLVIMO_STATUS_FAILED;
    }
    return std::nullopt;
}

// Writes the notes where the destination says. `output` is the converted
// path of a named file.
OutputResult Write(const Destination& destination, const NarrowText& output,
                   const NoteSource& source) {
    if (destination.path == nullptr) return WriteNotesToStream(destination.stream, source);
    // A path too long for its buffer cannot be opened. Nor, on POSIX, can one
    // the 8-bit text cannot spell exactly: the file it would name is not the
    // caller's. Windows opens the caller's own UTF-16 name, so any name works.
    if (output.length >= OUTPUT_PATH_CAPACITY) return OutputResult::CannotOpen;
#if !defined(_WIN32)
    if (output.lossy) return OutputResult::CannotOpen;
#endif
    return WriteOutputFile(output.text.get(), destination.path, source);
}

int32_t RenderRequest(const TolvimoUtf16* instrumentArg, const TolvimoUtf16* notesArg,
                      int32_t sampleRate, const Destination& destination) {
    std::FILE* report = destination.report;
    if (const auto refused = CheckPresent(instrumentArg, notesArg, destination)) return *refused;

    NarrowText instrument;
    NarrowText notes;
    NarrowText output;
    if (!ConvertToNarrow(instrumentArg, instrument) || !ConvertToNarrow(notesArg, notes) ||
        (destination.path != nullptr && !ConvertToNarrow(destination.path, output))) {
        return OutOfMemory(report);
    }

    // A name too long for its buffer matches no instrument.
    const int32_t kind = instrument.length < INSTRUMENT_NAME_CAPACITY
                             ? FindInstrument(instrument.text.get(), instrument.length)
                             : -1;
    if (kind < 0) {
        std::fprintf(report, "Error: Unknown instrument '%s'\n", instrument.text.get());
        return TOLVIMO_STATUS_UNKNOWN_INSTRUMENT;
    }
    if (sampleRate < MIN_SAMPLE_RATE || sampleRate > MAX_SAMPLE_RATE) {
        std::fprintf(report, "Error: Sample rate must be between %d and %d Hz\n",
                     static_cast<int>(MIN_SAMPLE_RATE), static_cast<int>(MAX_SAMPLE_RATE));
        return TOLVIMO_STATUS_BAD_SAMPLE_RATE;
    }
    if (notes.length >= NOTE_TEXT_CAPACITY) {
        std::fprintf(report, "Error: Note text must be shorter than %d bytes\n",
                     static_cast<int>(NOTE_TEXT_CAPACITY));
        return TOLVIMO_STATUS_FAILED;
    }

    const VoicePtr voice(CreateVoice(static_cast<uint32_t>(kind)));
    const NotePlanPtr plan(CreateNotePlan());
    if (!voice || !plan) return OutOfMemory(report);
    const int64_t invalid =
        ReadNotePlan(notes.text.get(), static_cast<uint32_t>(notes.length), *plan);
    if (invalid >= 0) {
        ReportInvalidNote(report, notes.text.get(), notes.length, static_cast<size_t>(invalid));
        return TOLVIMO_STATUS_FAILED;
    }

    // One note's buffer, reused for every note, and the store of recurring
    // notes: allocated before any file is touched.
    const int32_t noteSamples = NoteSampleCount(sampleRate, NOTE_DURATION);
    const SampleBufferPtr buffer(CreateSampleBuffer(sampleRate, noteSamples));
    const RenderedNotesPtr rendered(CreateRenderedNotes(noteSamples, plan->recurring));
    if (!buffer || !rendered) return OutOfMemory(report);
    const NoteSource source{*plan, *voice, *buffer, *rendered, noteSamples};

    const OutputResult result = Write(destination, output, source);
    const char* shown = destination.path != nullptr ? output.text.get() : destination.shownName;
    switch (result) {
        case OutputResult::Written: break;
        case OutputResult::CannotOpen:
            std::fprintf(report, "Error: Cannot open output file '%s'\n", shown);
            return TOLVIMO_STATUS_FAILED;
        case OutputResult::CannotWrite:
            std::fprintf(report, "Error: Cannot write output file '%s'\n", shown);
            return TOLVIMO_STATUS_FAILED;
        case OutputResult::OutOfMemory: return OutOfMemory(report);
    }
    ReportCreated(report, shown, TotalSamples(source), sampleRate, instrument.text.get());
    return TOLVIMO_STATUS_CREATED;
}

}  // namespace

int32_t RenderRequestToStream(const TolvimoUtf16* instrument, const TolvimoUtf16* notes,
                              int32_t sampleRate, std::FILE* wav, std::FILE* report,
                              const char* shownName) {
    const Destination destination{nullptr, wav, report, shownName};
    const int32_t status = RenderRequest(instrument, notes, sampleRate, destination);
    std::fflush(report);
    return status;
}

int32_t RenderRequestReportingTo(const TolvimoUtf16* instrument, const TolvimoUtf16* notes,
                                 int32_t sampleRate, const TolvimoUtf16* outputFile,
                                 std::FILE* report) {
    const Destination destination{outputFile, nullptr, report, nullptr};
    const int32_t status = RenderRequest(instrument, notes, sampleRate, destination);
    std::fflush(report);
    return status;
}

}  // namespace tolvimo

extern "C" TOLVIMO_WAV_INSTRUMENTS_API int32_t TOLVIMO_WAV_INSTRUMENTS_CALL
WAVInstruments(const TolvimoUtf16* instrument, const TolvimoUtf16* notes, int32_t sampleRate,
               const TolvimoUtf16* outputFile) {
    const tolvimo::Destination destination{outputFile, nullptr, stdout, nullptr};
    const int32_t status = tolvimo::RenderRequest(instrument, notes, sampleRate, destination);
    // A host capturing standard output sees every line before the call returns.
    std::fflush(stdout);
    return status;
}

// The exported entry: checks a request, reads its notes, then renders and
// writes them one at a time.
#include <cstdio>
#include <memory>
#include <optional>

#include "TolvimoWAVInstruments.h"
#include "platform/file_status.h"
#include "platform/text_conversion.h"
#include "request/argument_text.h"
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

// Prints `before`, the argument `wide` whole, and `after`. `text` is its
// conversion for a buffer of `capacity` bytes, used when it fits.
void ReportQuoting(std::FILE* report, const char* before, const TolvimoUtf16* wide,
                   const NarrowText& text, size_t capacity, const char* after) {
    if (text.length < capacity) {
        std::fprintf(report, "%s%s%s", before, text.text.get(), after);
        return;
    }
    std::fputs(before, report);
    PrintArgument(report, wide);
    std::fputs(after, report);
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

// Renders the request. When the named output is the file that standard
// output writes to, the lines go to standard error instead, and
// `destination.report` says so.
int32_t RenderRequest(const TolvimoUtf16* instrumentArg, const TolvimoUtf16* notesArg,
                      int32_t sampleRate, Destination& destination) {
    if (const auto refused = CheckPresent(instrumentArg, notesArg, destination)) return *refused;

    // Each argument is kept only as far as its buffer reaches, so a longer
    // one costs no more memory than one that fits.
    NarrowText instrument;
    NarrowText notes;
    NarrowText output;
    if (!ConvertArgument(instrumentArg, INSTRUMENT_NAME_CAPACITY, instrument) ||
        !ConvertArgument(notesArg, NOTE_TEXT_CAPACITY, notes) ||
        (destination.path != nullptr &&
         !ConvertArgument(destination.path, OUTPUT_PATH_CAPACITY, output))) {
        return OutOfMemory(destination.report);
    }
    if (destination.path != nullptr && output.length < OUTPUT_PATH_CAPACITY && !output.lossy &&
        NamesStandardOutput(output.text.get())) {
        destination.report = stderr;
    }
    std::FILE* report = destination.report;

    // A name too long for its buffer matches no instrument.
    const int32_t kind = instrument.length < INSTRUMENT_NAME_CAPACITY
                             ? FindInstrument(instrument.text.get(), instrument.length)
                             : -1;
    if (kind < 0) {
        ReportQuoting(report, "Error: Unknown instrument '", instrumentArg, instrument,
                      INSTRUMENT_NAME_CAPACITY, "'\n");
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
    const char* failed = nullptr;
    switch (result) {
        case OutputResult::Written: break;
        case OutputResult::CannotOpen: failed = "Error: Cannot open output file '"; break;
        case OutputResult::CannotWrite: failed = "Error: Cannot write output file '"; break;
        case OutputResult::OutOfMemory: return OutOfMemory(report);
    }
    if (failed != nullptr) {
        // A path too long for its buffer is still quoted whole.
        if (destination.path != nullptr) {
            ReportQuoting(report, failed, destination.path, output, OUTPUT_PATH_CAPACITY, "'\n");
        } else {
            std::fprintf(report, "%s%s'\n", failed, shown);
        }
        return TOLVIMO_STATUS_FAILED;
    }
    ReportCreated(report, shown, TotalSamples(source), sampleRate, instrument.text.get());
    return TOLVIMO_STATUS_CREATED;
}

}  // namespace

int32_t RenderRequestToStream(const TolvimoUtf16* instrument, const TolvimoUtf16* notes,
                              int32_t sampleRate, std::FILE* wav, std::FILE* report,
                              const char* shownName) {
    Destination destination{nullptr, wav, report, shownName};
    const int32_t status = RenderRequest(instrument, notes, sampleRate, destination);
    std::fflush(report);
    return status;
}

int32_t RenderRequestReportingTo(const TolvimoUtf16* instrument, const TolvimoUtf16* notes,
                                 int32_t sampleRate, const TolvimoUtf16* outputFile,
                                 std::FILE* report) {
    Destination destination{outputFile, nullptr, report, nullptr};
    const int32_t status = RenderRequest(instrument, notes, sampleRate, destination);
    std::fflush(report);
    return status;
}

}  // namespace tolvimo

extern "C" TOLVIMO_WAV_INSTRUMENTS_API int32_t TOLVIMO_WAV_INSTRUMENTS_CALL
WAVInstruments(const TolvimoUtf16* instrument, const TolvimoUtf16* notes, int32_t sampleRate,
               const TolvimoUtf16* outputFile) {
    tolvimo::Destination destination{outputFile, nullptr, stdout, nullptr};
    const int32_t status = tolvimo::RenderRequest(instrument, notes, sampleRate, destination);
    // A host capturing the lines sees every one before the call returns.
    std::fflush(destination.report);
    return status;
}

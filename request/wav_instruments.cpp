// The exported entry: checks a request, renders its notes, writes the file.
#include <cstdio>
#include <memory>
#include <optional>

#include "TolvimoWAVInstruments.h"
#include "notes/note_reader.h"
#include "platform/text_conversion.h"
#include "request/instrument_names.h"
#include "request/output_file.h"
#include "request/report.h"
#include "request/request_limits.h"
#include "synthesis/instrument_presets.h"
#include "synthesis/repeated_notes.h"

namespace tolvimo {
namespace {

using VoicePtr = std::unique_ptr<InstrumentVoice, VoiceReleaser>;
using SampleBufferPtr = std::unique_ptr<SampleBuffer, SampleBufferReleaser>;

int32_t OutOfMemory() {
    std::printf("Error: Not enough memory for the request\n");
    return TOLVIMO_STATUS_FAILED;
}

// A pointer argument that is null: nothing has been allocated yet. Returns
// the refusal's status, or nothing when every pointer is there.
std::optional<int32_t> CheckPresent(const TolvimoUtf16* instrument, const TolvimoUtf16* notes,
                                    const TolvimoUtf16* outputFile) {
    if (instrument == nullptr) {
        std::printf("Error: Unknown instrument (null pointer)\n");
        return TOLVIMO_STATUS_UNKNOWN_INSTRUMENT;
    }
    if (notes == nullptr) {
        std::printf("Error: Note text is missing (null pointer)\n");
        return TOLVIMO_STATUS_FAILED;
    }
    if (outputFile == nullptr) {
        std::printf("Error: Output file path is missing (null pointer)\n");
        return TOLVIMO_STATUS_FAILED;
    }
    return std::nullopt;
}

// Reads and renders every note. Returns the refusal's status, or nothing
// when all of them are in the buffer.
std::optional<int32_t> RenderNotes(const NarrowText& notes, SampleBuffer& buffer,
                                   const InstrumentVoice& voice) {
    RenderedNotes rendered{};
    uint32_t position = 0;
    while (position < notes.length) {
        const uint32_t start = position;
        const double frequency = ParseNote(notes.text.get(), position);
        if (!(frequency >= 0.0)) {
            ReportInvalidNote(notes.text.get(), notes.length, start);
            return TOLVIMO_STATUS_FAILED;
        }
        if (!RenderOrRepeatNote(buffer, rendered, frequency, NOTE_DURATION, voice)) {
            return OutOfMemory();
        }
    }
    return std::nullopt;
}

int32_t RenderRequest(const TolvimoUtf16* instrumentArg, const TolvimoUtf16* notesArg,
                      int32_t sampleRate, const TolvimoUtf16* outputArg) {
    if (const auto refused = CheckPresent(instrumentArg, notesArg, outputArg)) return *refused;

    NarrowText instrument;
    NarrowText notes;
    NarrowText output;
    if (!ConvertToNarrow(instrumentArg, instrument) || !ConvertToNarrow(notesArg, notes) ||
        !ConvertToNarrow(outputArg, output)) {
        return OutOfMemory();
    }

    // A name too long for its buffer matches no instrument.
    const int32_t kind = instrument.length < INSTRUMENT_NAME_CAPACITY
                             ? FindInstrument(instrument.text.get(), instrument.length)
                             : -1;
    if (kind < 0) {
        std::printf("Error: Unknown instrument '%s'\n", instrument.text.get());
        return TOLVIMO_STATUS_UNKNOWN_INSTRUMENT;
    }
    if (sampleRate < MIN_SAMPLE_RATE || sampleRate > MAX_SAMPLE_RATE) {
        std::printf("Error: Sample rate must be between %d and %d Hz\n",
                    static_cast<int>(MIN_SAMPLE_RATE), static_cast<int>(MAX_SAMPLE_RATE));
        return TOLVIMO_STATUS_BAD_SAMPLE_RATE;
    }
    if (notes.length >= NOTE_TEXT_CAPACITY) {
        std::printf("Error: Note text must be shorter than %d bytes\n",
                    static_cast<int>(NOTE_TEXT_CAPACITY));
        return TOLVIMO_STATUS_FAILED;
    }

    const VoicePtr voice(CreateVoice(static_cast<uint32_t>(kind)));
    // Counts every byte as a note, so the buffer never has to grow.
    const auto expected = static_cast<int32_t>(static_cast<double>(notes.length) *
                                               static_cast<double>(sampleRate) * NOTE_DURATION);
    const SampleBufferPtr buffer(CreateSampleBuffer(sampleRate, expected));
    if (!voice || !buffer) return OutOfMemory();

    if (const auto refused = RenderNotes(notes, *buffer, *voice)) return *refused;

    // A path too long for its buffer cannot be opened; nothing is created.
    const OutputResult result = output.length < OUTPUT_PATH_CAPACITY
                                    ? WriteOutputFile(output.text.get(), *buffer)
                                    : OutputResult::CannotOpen;
    if (result == OutputResult::CannotOpen) {
        std::printf("Error: Cannot open output file '%s'\n", output.text.get());
        return TOLVIMO_STATUS_FAILED;
    }
    if (result == OutputResult::CannotWrite) {
        std::printf("Error: Cannot write output file '%s'\n", output.text.get());
        return TOLVIMO_STATUS_FAILED;
    }
    ReportCreated(output.text.get(), buffer->count, sampleRate, instrument.text.get());
    return TOLVIMO_STATUS_CREATED;
}

}  // namespace
}  // namespace tolvimo

extern "C" TOLVIMO_WAV_INSTRUMENTS_API int32_t TOLVIMO_WAV_INSTRUMENTS_CALL
WAVInstruments(const TolvimoUtf16* instrument, const TolvimoUtf16* notes, int32_t sampleRate,
               const TolvimoUtf16* outputFile) {
    const int32_t status = tolvimo::RenderRequest(instrument, notes, sampleRate, outputFile);
    // A host capturing standard output sees every line before the call returns.
    std::fflush(stdout);
    return status;
}

// A request from start to outcome: checks it, reads its notes, then
// renders and writes them one at a time to a file, a stream or memory.
#include "request/render_entry.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/output_protocol.h"
#include "request/argument_text.h"
#include "request/instrument_names.h"
#include "request/note_plan.h"
#include "request/output_file.h"
#include "request/request_limits.h"
#include "synthesis/instrument_presets.h"
#include "synthesis/render_note.h"

namespace tolvimo {
namespace {

using VoicePtr = std::unique_ptr<InstrumentVoice, VoiceReleaser>;
using SampleBufferPtr = std::unique_ptr<SampleBuffer, SampleBufferReleaser>;
using RenderedNotesPtr = std::unique_ptr<RenderedNotes, RenderedNotesReleaser>;

// Where a request's bytes go: one of a named file, an open stream, memory.
struct Destination {
    OutputKind kind;
    const TolvimoUtf16* path;
    std::FILE* stream;
    const char* shownName;
    MemoryFormat format;
    const MemorySink* sink;
};

Outcome Decided(Outcome& outcome, RefusalKind refusal) {
    outcome.refusal = refusal;
    outcome.status = RowOf(refusal).status;
    return std::move(outcome);
}

bool HasDestination(const Destination& destination) {
    switch (destination.kind) {
        case OutputKind::File: return destination.path != nullptr;
        case OutputKind::Stream: return destination.stream != nullptr;
        case OutputKind::Memory: return destination.sink->reserve != nullptr;
    }
    return false;
}

// Keeps `wide` only as far as a buffer of `capacity` bytes reaches, so a
// longer argument costs no more memory than one that fits; a cut one is
// measured whole, a piece at a time.
bool Read(const TolvimoUtf16* wide, size_t capacity, ArgumentText& argument) {
    argument.wide = wide;
    if (!ConvertArgument(wide, capacity, argument.narrow)) return false;
    argument.cut = argument.narrow.length >= capacity;
    argument.bytes = argument.cut ? NarrowLength(wide) : argument.narrow.length;
    return true;
}

// The character at `position` of the caller's notes, where the library's
// 8-bit text has `text` (of `length` bytes) at the same position.
BadNote BadNoteAt(const TolvimoUtf16* wide, const char* text, size_t length, size_t position) {
    BadNote note;
    note.position = position;
    note.byteCount = CharacterLength(text, length, position);
    if (note.byteCount > sizeof note.bytes) note.byteCount = sizeof note.bytes;
    std::memcpy(note.bytes, text + position, note.byteCount);
    const TolvimoUtf16 unit = wide[position];
    note.character = static_cast<char16_t>(unit);
    size_t next = position + 1;
    if (IsHighSurrogate(unit) && IsLowSurrogate(wide[position + 1])) {
        note.character = 0x10000 + ((note.character - 0xD800) << 10) +
                         (static_cast<char16_t>(wide[position + 1]) - 0xDC00);
        next = position + 2;
    }
    if (position > 0) note.before = static_cast<char16_t>(wide[position - 1]);
    note.after = static_cast<char16_t>(wide[next]);
    return note;
}

// Writes the notes where the destination says.
WriteResult Write(const Destination& destination, const ArgumentText& path,
                  const RenderContext& context) {
    switch (destination.kind) {
        case OutputKind::Stream: return WriteNotesToStream(destination.stream, context);
        case OutputKind::Memory:
            return {WriteNotesToMemory(destination.format, *destination.sink, context)};
        case OutputKind::File: break;
    }
    // A path too long for its buffer cannot be opened, nor one whose 8-bit
    // text would name a file other than the caller's.
    if (path.cut) return {OutputResult::CannotOpen, ENAMETOOLONG, false};
    if (!OpensAsNamed(path.narrow)) return {OutputResult::CannotOpen, EILSEQ, false};
    return WriteOutputFile(path.narrow.text.get(), destination.path, context);
}

Outcome RenderRequest(const TolvimoUtf16* instrumentArg, const TolvimoUtf16* notesArg,
                      int32_t sampleRate, const Destination& destination) {
    Outcome outcome;
    outcome.sampleRate = sampleRate;
    outcome.outputKind = destination.kind;
    outcome.shownName = destination.shownName;
    // A pointer argument that is null: nothing has been allocated yet.
    if (instrumentArg == nullptr) return Decided(outcome, RefusalKind::InstrumentMissing);
    if (notesArg == nullptr) return Decided(outcome, RefusalKind::NotesMissing);
    if (!HasDestination(destination)) return Decided(outcome, RefusalKind::OutputMissing);

    ArgumentText notes;
    if (!Read(instrumentArg, INSTRUMENT_NAME_CAPACITY, outcome.instrument) ||
        !Read(notesArg, NOTE_TEXT_CAPACITY, notes) ||
        (destination.kind == OutputKind::File &&
         !Read(destination.path, OUTPUT_PATH_CAPACITY, outcome.path))) {
        return Decided(outcome, RefusalKind::OutOfMemory);
    }
    outcome.noteTextBytes = notes.bytes;
    if (destination.kind == OutputKind::File) {
        outcome.shownName = outcome.path.narrow.text.get();
        outcome.pathNamesStandardOutput = !outcome.path.cut && !outcome.path.narrow.lossy &&
                                          NamesStandardOutput(outcome.shownName);
    }

    // A name too long for its buffer matches no instrument.
    const int32_t kind = outcome.instrument.cut
                             ? -1
                             : FindInstrument(outcome.instrument.narrow.text.get(),
                                              outcome.instrument.narrow.length);
    if (kind < 0) return Decided(outcome, RefusalKind::UnknownInstrument);
    if (sampleRate < MIN_SAMPLE_RATE || sampleRate > MAX_SAMPLE_RATE) {
        return Decided(outcome, RefusalKind::BadSampleRate);
    }
    if (notes.cut) return Decided(outcome, RefusalKind::NoteTextTooLong);

    const VoicePtr voice(CreateVoice(static_cast<uint32_t>(kind)));
    const NotePlanPtr plan(CreateNotePlan());
    if (!voice || !plan) return Decided(outcome, RefusalKind::OutOfMemory);
    const char* text = notes.narrow.text.get();
    const int64_t invalid = ReadNotePlan(text, static_cast<uint32_t>(notes.narrow.length), *plan);
    if (invalid >= 0) {
        outcome.badNote =
            BadNoteAt(notesArg, text, notes.narrow.length, static_cast<size_t>(invalid));
        return Decided(outcome, RefusalKind::InvalidNote);
    }

    // One note's buffer, reused for every note, and the store of recurring
    // notes: allocated before any file is touched.
    const int32_t noteSamples = NoteSampleCount(sampleRate, NOTE_DURATION);
    const SampleBufferPtr buffer(CreateSampleBuffer(sampleRate, noteSamples));
    const RenderedNotesPtr rendered(CreateRenderedNotes(noteSamples, plan->recurring));
    if (!buffer || !rendered) return Decided(outcome, RefusalKind::OutOfMemory);
    const RenderContext context{*plan, *voice, *buffer, *rendered, noteSamples};
    outcome.voice = InstrumentName(static_cast<uint32_t>(kind));
    outcome.sampleCount = TotalSamples(context);

    const WriteResult written = Write(destination, outcome.path, context);
    outcome.systemError = written.error;
    outcome.inFolder = written.inFolder;
    switch (written.result) {
        case OutputResult::Written: return Decided(outcome, RefusalKind::None);
        case OutputResult::CannotOpen: return Decided(outcome, RefusalKind::CannotOpen);
        case OutputResult::CannotWrite: return Decided(outcome, RefusalKind::CannotWrite);
        case OutputResult::OutOfMemory: break;
    }
    outcome.systemError = 0;
    return Decided(outcome, RefusalKind::OutOfMemory);
}

}  // namespace

Outcome RenderToFile(const TolvimoUtf16* instrument, const TolvimoUtf16* notes, int32_t sampleRate,
                     const TolvimoUtf16* path) {
    const Destination destination{OutputKind::File,      path,   nullptr, "",
                                  MemoryFormat::WavFile, nullptr};
    return RenderRequest(instrument, notes, sampleRate, destination);
}

Outcome RenderToStream(const TolvimoUtf16* instrument, const TolvimoUtf16* notes,
                       int32_t sampleRate, std::FILE* wav, const char* shownName) {
    const char* shown = shownName != nullptr ? shownName : "";
    const Destination destination{OutputKind::Stream,    nullptr, wav, shown,
                                  MemoryFormat::WavFile, nullptr};
    return RenderRequest(instrument, notes, sampleRate, destination);
}

Outcome RenderToMemory(const TolvimoUtf16* instrument, const TolvimoUtf16* notes,
                       int32_t sampleRate, MemoryFormat format, const MemorySink& sink) {
    const Destination destination{OutputKind::Memory, nullptr, nullptr,
                                  MEMORY_OUTPUT_NAME, format,  &sink};
    return RenderRequest(instrument, notes, sampleRate, destination);
}

}  // namespace tolvimo

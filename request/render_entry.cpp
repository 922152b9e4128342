// A request from start to outcome: checks it, reads its notes, then
// renders and writes them one at a time to a file, a stream or memory.
#include "request/render_entry.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>
#include <variant>

#include "platform/output_protocol.h"
#include "request/argument_text.h"
#include "request/instrument_names.h"
#include "request/note_plan.h"
#include "request/output_file.h"
#include "request/request_limits.h"
#include "synthesis/float_environment.h"
#include "synthesis/instrument_presets.h"
#include "synthesis/render_note.h"

namespace tolvimo {
namespace {

using VoicePtr = std::unique_ptr<InstrumentVoice, VoiceReleaser>;
using SampleBufferPtr = std::unique_ptr<SampleBuffer, SampleBufferReleaser>;
using RenderedNotesPtr = std::unique_ptr<RenderedNotes, RenderedNotesReleaser>;

// The request's outcome, given its kind and the status that goes with it.
Outcome Decided(Outcome&& outcome, RefusalKind refusal) {
    outcome.refusal = refusal;
    outcome.status = RowOf(refusal).status;
    return std::move(outcome);
}

// Converts `wide` to its 8-bit working copy, kept only as far as a buffer of
// `capacity` bytes reaches, so a longer argument costs no more memory than
// one that fits; a cut one is measured whole, a piece at a time.
bool ConvertArgumentText(const TolvimoUtf16* wide, size_t capacity, ArgumentText& argument) {
    argument.wide = wide;
    if (!ConvertArgument(wide, capacity, argument.narrow)) return false;
    argument.cut = argument.narrow.length >= capacity;
    argument.bytes = argument.cut ? NarrowLength(wide) : argument.narrow.length;
    return true;
}

// Where a request's bytes go: one of a named file, an open stream, memory.
// Each kind has its own record, and its own answer to what the request asks
// of it: whether it was given, what the outcome calls it, and the writing.

// A named file, by the caller's own name of it.
struct NamedFile {
    const TolvimoUtf16* path;
};

// An open stream of the caller's, and what the lines call it.
struct OpenStream {
    std::FILE* stream;
    const char* shownName;
};

// Memory the caller reserves through `sink`, for bytes in `format`.
struct CallerMemory {
    MemoryFormat format;
    const MemorySink* sink;
};

using Destination = std::variant<NamedFile, OpenStream, CallerMemory>;

bool HasDestination(const NamedFile& file) {
    return file.path != nullptr;
}
bool HasDestination(const OpenStream& stream) {
    return stream.stream != nullptr;
}
bool HasDestination(const CallerMemory& memory) {
    return memory.sink->reserve != nullptr;
}

// What the outcome says of the output before any argument is read. A named
// file is shown by its path, once that is converted.
void NameOutput(const NamedFile&, Outcome& outcome) {
    outcome.outputKind = OutputKind::File;
}
void NameOutput(const OpenStream& stream, Outcome& outcome) {
    outcome.outputKind = OutputKind::Stream;
    outcome.shownName = stream.shownName;
}
void NameOutput(const CallerMemory&, Outcome& outcome) {
    outcome.outputKind = OutputKind::Memory;
    outcome.shownName = MEMORY_OUTPUT_NAME;
}

// Converts a named file's path, which then shows the output; false when
// memory for it ran out. Only a named file has a path.
bool ConvertPath(const NamedFile& file, Outcome& outcome) {
    if (!ConvertArgumentText(file.path, OUTPUT_PATH_CAPACITY, outcome.path)) return false;
    outcome.shownName = outcome.path.narrow.text.get();
    outcome.pathNamesStandardOutput =
        !outcome.path.cut && !outcome.path.narrow.lossy && NamesStandardOutput(outcome.shownName);
    return true;
}
bool ConvertPath(const OpenStream&, Outcome&) {
    return true;
}
bool ConvertPath(const CallerMemory&, Outcome&) {
    return true;
}

// Writes the notes to the destination; `path` is a named file's converted path.
WriteResult Write(const NamedFile& file, const ArgumentText& path, const RenderContext& context) {
    // A path too long for its buffer cannot be opened, nor one whose 8-bit
    // text would name a file other than the caller's.
    if (path.cut) return {OutputResult::CannotOpen, ENAMETOOLONG, false};
    if (!OpensAsNamed(path.narrow)) return {OutputResult::CannotOpen, EILSEQ, false};
    return WriteOutputFile(path.narrow.text.get(), file.path, context);
}
WriteResult Write(const OpenStream& stream, const ArgumentText&, const RenderContext& context) {
    return WriteNotesToStream(stream.stream, context);
}
WriteResult Write(const CallerMemory& memory, const ArgumentText&, const RenderContext& context) {
    return {WriteNotesToMemory(memory.format, *memory.sink, context)};
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

Outcome RenderRequest(const TolvimoUtf16* instrumentArg, const TolvimoUtf16* notesArg,
                      int32_t sampleRate, const Destination& destination) {
    const DefaultFloatEnvironment environment;  // the same bytes whatever the caller's mode
    Outcome outcome;
    outcome.sampleRate = sampleRate;
    std::visit([&](const auto& to) { NameOutput(to, outcome); }, destination);
    // A pointer argument that is null: nothing has been allocated yet.
    if (instrumentArg == nullptr)
        return Decided(std::move(outcome), RefusalKind::InstrumentMissing);
    if (notesArg == nullptr) return Decided(std::move(outcome), RefusalKind::NotesMissing);
    if (!std::visit([](const auto& to) { return HasDestination(to); }, destination))
        return Decided(std::move(outcome), RefusalKind::OutputMissing);

    ArgumentText notes;
    if (!ConvertArgumentText(instrumentArg, INSTRUMENT_NAME_CAPACITY, outcome.instrument) ||
        !ConvertArgumentText(notesArg, NOTE_TEXT_CAPACITY, notes) ||
        !std::visit([&](const auto& to) { return ConvertPath(to, outcome); }, destination)) {
        return Decided(std::move(outcome), RefusalKind::OutOfMemory);
    }
    outcome.noteTextBytes = notes.bytes;

    // A name too long for its buffer matches no instrument.
    const int32_t kind = outcome.instrument.cut
                             ? -1
                             : FindInstrument(outcome.instrument.narrow.text.get(),
                                              outcome.instrument.narrow.length);
    if (kind < 0) return Decided(std::move(outcome), RefusalKind::UnknownInstrument);
    if (sampleRate < MIN_SAMPLE_RATE || sampleRate > MAX_SAMPLE_RATE) {
        return Decided(std::move(outcome), RefusalKind::BadSampleRate);
    }
    if (notes.cut) return Decided(std::move(outcome), RefusalKind::NoteTextTooLong);

    const VoicePtr voice(CreateVoice(static_cast<uint32_t>(kind)));
    const NotePlanPtr plan(CreateNotePlan());
    if (!voice || !plan) return Decided(std::move(outcome), RefusalKind::OutOfMemory);
    const char* text = notes.narrow.text.get();
    const int64_t invalid = ReadNotePlan(text, static_cast<uint32_t>(notes.narrow.length), *plan);
    if (invalid >= 0) {
        outcome.badNote =
            BadNoteAt(notesArg, text, notes.narrow.length, static_cast<size_t>(invalid));
        const int32_t named = FindInstrument(text, notes.narrow.length);
        if (named >= 0) outcome.badNote.voiceInNotes = InstrumentName(static_cast<uint32_t>(named));
        return Decided(std::move(outcome), RefusalKind::InvalidNote);
    }

    // One note's buffer, reused for every note, and the store of recurring
    // notes: allocated before any file is touched.
    const int32_t noteSamples = NoteSampleCount(sampleRate, NOTE_DURATION);
    const SampleBufferPtr buffer(CreateSampleBuffer(sampleRate, noteSamples));
    const RenderedNotesPtr rendered(CreateRenderedNotes(noteSamples, plan->recurring));
    if (!buffer || !rendered) return Decided(std::move(outcome), RefusalKind::OutOfMemory);
    const RenderContext context{*plan, *voice, *buffer, *rendered, noteSamples};
    outcome.voice = InstrumentName(static_cast<uint32_t>(kind));
    outcome.sampleCount = TotalSamples(context);

    const WriteResult written =
        std::visit([&](const auto& to) { return Write(to, outcome.path, context); }, destination);
    outcome.systemError = written.error;
    outcome.inFolder = written.inFolder;
    switch (written.result) {
        case OutputResult::Written: return Decided(std::move(outcome), RefusalKind::None);
        case OutputResult::CannotOpen: return Decided(std::move(outcome), RefusalKind::CannotOpen);
        case OutputResult::CannotWrite:
            return Decided(std::move(outcome), RefusalKind::CannotWrite);
        case OutputResult::OutOfMemory: break;
    }
    outcome.systemError = 0;
    return Decided(std::move(outcome), RefusalKind::OutOfMemory);
}

}  // namespace

Outcome RenderToFile(const TolvimoUtf16* instrument, const TolvimoUtf16* notes, int32_t sampleRate,
                     const TolvimoUtf16* path) {
    return RenderRequest(instrument, notes, sampleRate, NamedFile{path});
}

Outcome RenderToStream(const TolvimoUtf16* instrument, const TolvimoUtf16* notes,
                       int32_t sampleRate, std::FILE* wav, const char* shownName) {
    const char* shown = shownName != nullptr ? shownName : "";
    return RenderRequest(instrument, notes, sampleRate, OpenStream{wav, shown});
}

Outcome RenderToMemory(const TolvimoUtf16* instrument, const TolvimoUtf16* notes,
                       int32_t sampleRate, MemoryFormat format, const MemorySink& sink) {
    return RenderRequest(instrument, notes, sampleRate, CallerMemory{format, &sink});
}

}  // namespace tolvimo

// A request from start to outcome: checks it, reads its notes, then
// renders them one at a time into its destination's byte sink.
#include "request/render_entry.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <utility>
#include <variant>
#include <vector>

#include "platform/output_protocol.h"
#include "request/argument_text.h"
#include "request/instrument_names.h"
#include "request/note_plan.h"
#include "request/output_file.h"
#include "request/request_limits.h"
#include "request/utf8_text.h"
#include "synthesis/float_environment.h"
#include "synthesis/instrument_presets.h"
#include "synthesis/render_note.h"
#include "wav/wav_writer.h"

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

// The request's text as the caller spelled it: UTF-16 (WAVInstruments and
// the internal entries) or UTF-8 (the Tolvimo functions), each read into
// its bounded working copy.
bool ReadArgument(const TolvimoUtf16* wide, size_t capacity, ArgumentText& argument) {
    return ConvertArgumentText(wide, capacity, argument);
}
bool ReadArgument(const char* text, size_t capacity, ArgumentText& argument) {
    return ReadUtf8Argument(text, capacity, argument);
}

// Where a request's bytes go: a named file, an open stream, memory, a
// host's sink, or nowhere, when the request is only measured.
// Each kind has its own record, and its own answer to what the request asks
// of it: whether it was given, what the outcome calls it, and the writing.

// A named file, by the caller's own name of it: in UTF-16, or in bytes
// (UTF-8 on Windows).
struct NamedFile {
    const TolvimoUtf16* path;
};
struct NamedUtf8File {
    const char* path;
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

// A host's own sink, for bytes in `format`.
struct HostSink {
    MemoryFormat format;
    ByteSink sink;
};

// Only the size the bytes in `format` would have, put in `*size`.
struct SizeOnly {
    MemoryFormat format;
    uint64_t* size;
};

using Destination =
    std::variant<NamedFile, NamedUtf8File, OpenStream, CallerMemory, HostSink, SizeOnly>;

// A destination that is not there: the kind of its refusal, or None.
RefusalKind Missing(const NamedFile& file) {
    return file.path != nullptr ? RefusalKind::None : RefusalKind::OutputMissing;
}
RefusalKind Missing(const NamedUtf8File& file) {
    return file.path != nullptr ? RefusalKind::None : RefusalKind::OutputMissing;
}
RefusalKind Missing(const OpenStream& stream) {
    return stream.stream != nullptr ? RefusalKind::None : RefusalKind::OutputMissing;
}
RefusalKind Missing(const CallerMemory& memory) {
    return memory.sink->reserve != nullptr ? RefusalKind::None : RefusalKind::OutputMissing;
}
RefusalKind Missing(const HostSink& host) {
    return host.sink.put != nullptr ? RefusalKind::None : RefusalKind::SinkMissing;
}
RefusalKind Missing(const SizeOnly& measure) {
    return measure.size != nullptr ? RefusalKind::None : RefusalKind::SinkMissing;
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
void NameOutput(const NamedUtf8File&, Outcome& outcome) {
    outcome.outputKind = OutputKind::File;
}
template <typename InMemory>
void NameOutput(const InMemory&, Outcome& outcome) {
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
#if defined(_WIN32)
// `utf8` in UTF-16, as Windows opens it; empty when it is not UTF-8, which
// names no file the caller meant. Throws std::bad_alloc.
std::vector<TolvimoUtf16> WidePath(const char* utf8) {
    std::vector<TolvimoUtf16> wide(std::strlen(utf8) + 1);
    if (!WidenUtf8(utf8, wide.data(), wide.size())) wide.clear();
    return wide;
}

// Windows measures a path in the ANSI code page, as WAVInstruments does:
// the file is opened by its UTF-16 name, and a name the code page spells
// in fewer bytes than UTF-8 (Han characters, say) fits as it does there.
bool MeasureAsAnsi(const char* utf8, ArgumentText& path) {
    try {
        const std::vector<TolvimoUtf16> wide = WidePath(utf8);
        if (wide.empty()) return true;  // refused when it is opened
        ArgumentText ansi;
        if (!ConvertArgumentText(wide.data(), OUTPUT_PATH_CAPACITY, ansi)) return false;
        path.cut = ansi.cut;
        path.bytes = ansi.bytes;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
#endif

bool ConvertPath(const NamedUtf8File& file, Outcome& outcome) {
    if (!ReadUtf8Path(file.path, outcome.path)) return false;
    outcome.shownName = outcome.path.narrow.text.get();
    outcome.pathNamesStandardOutput = !outcome.path.cut && NamesStandardOutput(outcome.shownName);
    return true;
}
template <typename Unnamed>
bool ConvertPath(const Unnamed&, Outcome&) {
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
WriteResult Write(const NamedUtf8File&, const ArgumentText& path, const RenderContext& context) {
    if (path.cut) return {OutputResult::CannotOpen, ENAMETOOLONG, false};
#if defined(_WIN32)
    // Windows opens the file by its UTF-16 name.
    try {
        const std::vector<TolvimoUtf16> wide = WidePath(path.narrow.text.get());
        if (wide.empty()) return {OutputResult::CannotOpen, EILSEQ, false};
        return WriteOutputFile(path.narrow.text.get(), wide.data(), context);
    } catch (const std::bad_alloc&) {
        return {OutputResult::OutOfMemory};
    }
#else
    return WriteOutputFile(path.narrow.text.get(), nullptr, context);
#endif
}
WriteResult Write(const OpenStream& stream, const ArgumentText&, const RenderContext& context) {
    return WriteNotesToStream(stream.stream, context);
}
WriteResult Write(const CallerMemory& memory, const ArgumentText&, const RenderContext& context) {
    return {WriteNotesToMemory(memory.format, *memory.sink, context)};
}
WriteResult Write(const HostSink& host, const ArgumentText&, const RenderContext& context) {
    return WriteNotes(host.sink, host.format, context);
}
WriteResult Write(const SizeOnly& measure, const ArgumentText&, const RenderContext& context) {
    *measure.size = OutputBytes(measure.format, context);
    return {};
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

// The same for a UTF-8 caller.
BadNote BadNoteAt(const char* whole, const char* text, size_t length, size_t position) {
    return Utf8BadNoteAt(whole, text, length, position);
}

// A format the request knows; only a host's sink and a measure take one.
bool KnownFormat(const Destination& destination) {
    const auto known = [](MemoryFormat format) {
        return format == MemoryFormat::WavFile || format == MemoryFormat::Samples;
    };
    if (const auto* host = std::get_if<HostSink>(&destination)) return known(host->format);
    if (const auto* measure = std::get_if<SizeOnly>(&destination)) return known(measure->format);
    return true;
}

template <typename Character>
Outcome RenderRequest(const Character* instrumentArg, const Character* notesArg, int32_t sampleRate,
                      const Destination& destination) {
    const DefaultFloatEnvironment environment;  // the same bytes whatever the caller's mode
    Outcome outcome;
    outcome.sampleRate = sampleRate;
    std::visit([&](const auto& to) { NameOutput(to, outcome); }, destination);
    // A pointer argument that is null: nothing has been allocated yet.
    if (instrumentArg == nullptr)
        return Decided(std::move(outcome), RefusalKind::InstrumentMissing);
    if (notesArg == nullptr) return Decided(std::move(outcome), RefusalKind::NotesMissing);
    const RefusalKind missing = std::visit([](const auto& to) { return Missing(to); }, destination);
    if (missing != RefusalKind::None) return Decided(std::move(outcome), missing);
    if (!KnownFormat(destination)) return Decided(std::move(outcome), RefusalKind::UnknownFormat);

    ArgumentText notes;
    if (!ReadArgument(instrumentArg, INSTRUMENT_NAME_CAPACITY, outcome.instrument) ||
        !ReadArgument(notesArg, NOTE_TEXT_CAPACITY, notes) ||
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

    // A measure needs no buffers: the size is known once the notes are read.
    if (const auto* measure = std::get_if<SizeOnly>(&destination)) {
        outcome.voice = InstrumentName(static_cast<uint32_t>(kind));
        outcome.sampleCount = plan->count * NoteSampleCount(sampleRate, NOTE_DURATION);
        const uint64_t header = measure->format == MemoryFormat::WavFile ? WAV_HEADER_SIZE : 0;
        *measure->size = header + sizeof(int16_t) * static_cast<uint64_t>(outcome.sampleCount);
        return Decided(std::move(outcome), RefusalKind::None);
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

bool ReadUtf8Path(const char* text, ArgumentText& path) {
    path.whole = text;
    const size_t length = std::strlen(text);
    path.bytes = length;
    path.cut = length >= OUTPUT_PATH_CAPACITY;
#if defined(_WIN32)
    if (!MeasureAsAnsi(text, path)) return false;
#endif
    const size_t kept = !path.cut ? length : std::min(length, OUTPUT_PATH_CAPACITY - 1);
    path.narrow.text.reset(static_cast<char*>(std::malloc(kept + 1)));
    if (!path.narrow.text) return false;
    std::memcpy(path.narrow.text.get(), text, kept);
    path.narrow.text.get()[kept] = '\0';
    path.narrow.length = path.cut ? OUTPUT_PATH_CAPACITY : length;
    return true;
}

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

Outcome RenderUtf8ToFile(const char* instrument, const char* notes, int32_t sampleRate,
                         const char* path) {
    return RenderRequest(instrument, notes, sampleRate, NamedUtf8File{path});
}

Outcome RenderUtf8ToSink(const char* instrument, const char* notes, int32_t sampleRate,
                         MemoryFormat format, const ByteSink& sink) {
    return RenderRequest(instrument, notes, sampleRate, HostSink{format, sink});
}

Outcome MeasureUtf8(const char* instrument, const char* notes, int32_t sampleRate,
                    MemoryFormat format, uint64_t* size) {
    return RenderRequest(instrument, notes, sampleRate, SizeOnly{format, size});
}

}  // namespace tolvimo

// The exported Tolvimo functions: the request's UTF-8 entries, their
// outcome copied into the host's record, and its words for a person.
// Nothing here prints, and no exception leaves a function.
#include <cstring>
#include <new>
#include <string>

#include "TolvimoWAVInstruments.h"
#include "request/description.h"
#include "request/explanation.h"
#include "request/instrument_names.h"
#include "request/note_writer.h"
#include "request/render_entry.h"
#include "request/report.h"
#include "request/request_limits.h"
#include "request/utf8_text.h"
#include "synthesis/preset_table.h"

namespace tolvimo {
namespace {

// The public format as the request's; any other value stays out of range,
// and the request refuses it.
MemoryFormat FormatOf(int32_t format) {
    if (format == TOLVIMO_FORMAT_WAV) return MemoryFormat::WavFile;
    if (format == TOLVIMO_FORMAT_SAMPLES) return MemoryFormat::Samples;
    return static_cast<MemoryFormat>(0xFF);
}
static_assert(static_cast<int>(MemoryFormat::WavFile) != 0xFF &&
              static_cast<int>(MemoryFormat::Samples) != 0xFF);

int32_t VoiceIndex(const char* name) {
    if (name == nullptr) return -1;
    return FindInstrument(name, std::strlen(name));
}

// Copies the outcome into the host's record and returns its status.
int32_t Report(const Outcome& from, const char* instrument, const char* notes, const char* output,
               TolvimoOutcome* to) {
    if (to == nullptr) return from.status;
    *to = TolvimoOutcome{};
    to->version = TOLVIMO_OUTCOME_VERSION;
    to->status = from.status;
    to->refusal = static_cast<int32_t>(from.refusal);
    const bool outputRefused =
        from.refusal == RefusalKind::CannotOpen || from.refusal == RefusalKind::CannotWrite;
    to->systemError = outputRefused ? from.systemError : 0;
    to->inFolder = outputRefused && from.inFolder ? 1 : 0;
    to->position = -1;
    if (from.refusal == RefusalKind::InvalidNote) {
        to->position = static_cast<int64_t>(from.badNote.position);
        to->character = static_cast<uint32_t>(from.badNote.character);
    }
    to->sampleCount = from.sampleCount;
    to->sampleRate = from.sampleRate;
    to->voice = VoiceIndex(from.voice);
    to->toFile = from.outputKind == OutputKind::File ? 1 : 0;
    to->noteTextBytes = from.noteTextBytes;
    to->instrument = instrument;
    to->notes = notes;
    to->output = from.outputKind == OutputKind::File ? output : MEMORY_OUTPUT_NAME;
    return from.status;
}

// The request's outcome again from the host's record, reading the text it
// borrows, as far as the description needs it.
Outcome Rebuilt(const TolvimoOutcome& from) {
    Outcome outcome;
    const bool known =
        from.refusal >= 0 && static_cast<size_t>(from.refusal) < std::size(REFUSAL_KINDS);
    outcome.refusal = known ? static_cast<RefusalKind>(from.refusal) : RefusalKind::OutOfMemory;
    outcome.status = RowOf(outcome.refusal).status;
    outcome.sampleRate = from.sampleRate;
    outcome.sampleCount = from.sampleCount;
    outcome.noteTextBytes = static_cast<size_t>(from.noteTextBytes);
    outcome.voice = InstrumentName(static_cast<uint32_t>(from.voice));
    if (outcome.voice == nullptr) outcome.voice = "";
    outcome.systemError = from.systemError;
    outcome.inFolder = from.inFolder != 0;
    if (from.instrument != nullptr) {
        ReadUtf8Argument(from.instrument, INSTRUMENT_NAME_CAPACITY, outcome.instrument);
    }
    if (outcome.refusal == RefusalKind::InvalidNote && from.notes != nullptr &&
        from.position >= 0) {
        ArgumentText notes;
        if (ReadUtf8Argument(from.notes, NOTE_TEXT_CAPACITY, notes) && notes.narrow.text &&
            static_cast<size_t>(from.position) < notes.narrow.length) {
            outcome.badNote =
                Utf8BadNoteAt(from.notes, notes.narrow.text.get(), notes.narrow.length,
                              static_cast<size_t>(from.position));
            // The whole note text a voice's name: the arguments swapped.
            const int32_t named = FindInstrument(notes.narrow.text.get(), notes.narrow.length);
            if (named >= 0) {
                outcome.badNote.voiceInNotes = InstrumentName(static_cast<uint32_t>(named));
            }
        }
        outcome.badNote.character = from.character;
    }
    const char* output = from.output != nullptr ? from.output : "";
    if (from.toFile != 0) {
        outcome.outputKind = OutputKind::File;
        if (!ReadUtf8Path(output, outcome.path)) throw std::bad_alloc();
        outcome.shownName = outcome.path.narrow.text.get();
    } else {
        outcome.outputKind = OutputKind::Memory;
        outcome.shownName = output;
    }
    return outcome;
}

// `whole` into `text` as snprintf puts it; its length.
size_t Put(const char* whole, size_t length, char* text, size_t size) {
    if (size > 0 && text != nullptr) {
        const size_t kept = length < size ? length : size - 1;
        std::memcpy(text, whole, kept);
        text[kept] = '\0';
    }
    return length;
}

std::string Part(const Outcome& outcome, int32_t part) {
    const bool badNote = outcome.refusal == RefusalKind::InvalidNote;
    switch (part) {
        case TOLVIMO_PART_LINES: {
            std::string lines = LibraryLines(outcome);
            if (!lines.empty() && lines.back() == '\n') lines.pop_back();
            return lines;
        }
        case TOLVIMO_PART_REASON: return OutputReason(outcome);
        case TOLVIMO_PART_CHARACTER:
            return badNote ? NameCharacter(outcome.badNote.character) : std::string();
        case TOLVIMO_PART_HINT: {
            if (badNote) return NoteHint(outcome.badNote);
            if (outcome.refusal != RefusalKind::UnknownInstrument) return {};
            // The hint without a front end's words for where its list is.
            std::string hint = InstrumentHint(outcome, "");
            if (!hint.empty() && hint.back() == ' ') hint.pop_back();
            return hint;
        }
        case TOLVIMO_PART_SHOWN_LINE: return ShownLine(outcome);
        case TOLVIMO_PART_SUGGESTIONS: {
            if (outcome.refusal != RefusalKind::UnknownInstrument) return {};
            std::string names;
            for (const auto name : CloseInstruments(outcome)) {
                if (!names.empty()) names += '\n';
                names += name;
            }
            return names;
        }
        default: return {};
    }
}

}  // namespace
}  // namespace tolvimo

extern "C" TOLVIMO_WAV_INSTRUMENTS_API int32_t TOLVIMO_WAV_INSTRUMENTS_CALL
TolvimoRenderFile(const char* instrument, const char* notes, int32_t sampleRate, const char* path,
                  TolvimoOutcome* outcome) {
    return tolvimo::Report(tolvimo::RenderUtf8ToFile(instrument, notes, sampleRate, path),
                           instrument, notes, path, outcome);
}

extern "C" TOLVIMO_WAV_INSTRUMENTS_API int32_t TOLVIMO_WAV_INSTRUMENTS_CALL
TolvimoRenderToSink(const char* instrument, const char* notes, int32_t sampleRate, int32_t format,
                    TolvimoSink sink, void* context, TolvimoOutcome* outcome) {
    return tolvimo::Report(tolvimo::RenderUtf8ToSink(instrument, notes, sampleRate,
                                                     tolvimo::FormatOf(format), {sink, context}),
                           instrument, notes, nullptr, outcome);
}

extern "C" TOLVIMO_WAV_INSTRUMENTS_API int32_t TOLVIMO_WAV_INSTRUMENTS_CALL
TolvimoMeasure(const char* instrument, const char* notes, int32_t sampleRate, int32_t format,
               uint64_t* size, TolvimoOutcome* outcome) {
    return tolvimo::Report(
        tolvimo::MeasureUtf8(instrument, notes, sampleRate, tolvimo::FormatOf(format), size),
        instrument, notes, nullptr, outcome);
}

extern "C" TOLVIMO_WAV_INSTRUMENTS_API size_t TOLVIMO_WAV_INSTRUMENTS_CALL
TolvimoDescribe(const TolvimoOutcome* outcome, char* text, size_t size) {
    if (outcome == nullptr) return tolvimo::Put("", 0, text, size);
    // A shortage of memory is said without taking any.
    if (outcome->refusal == TOLVIMO_REFUSAL_OUT_OF_MEMORY) {
        const char* line = tolvimo::FixedLine(tolvimo::RefusalKind::OutOfMemory);
        return tolvimo::Put(line, std::strlen(line), text, size);
    }
    try {
        std::string whole;
        for (const auto& line : tolvimo::DescriptionLines(tolvimo::Rebuilt(*outcome))) {
            if (!whole.empty()) whole += '\n';
            whole += line;
        }
        return tolvimo::Put(whole.data(), whole.size(), text, size);
    } catch (...) {
        // No memory to word it: the shortage is what the host is told.
        const char* line = tolvimo::FixedLine(tolvimo::RefusalKind::OutOfMemory);
        return tolvimo::Put(line, std::strlen(line), text, size);
    }
}

extern "C" TOLVIMO_WAV_INSTRUMENTS_API size_t TOLVIMO_WAV_INSTRUMENTS_CALL
TolvimoDescribePart(const TolvimoOutcome* outcome, int32_t part, char* text, size_t size) {
    if (outcome == nullptr) return tolvimo::Put("", 0, text, size);
    try {
        const std::string whole = tolvimo::Part(tolvimo::Rebuilt(*outcome), part);
        return tolvimo::Put(whole.data(), whole.size(), text, size);
    } catch (...) {
        return tolvimo::Put("", 0, text, size);
    }
}

extern "C" TOLVIMO_WAV_INSTRUMENTS_API const char* TOLVIMO_WAV_INSTRUMENTS_CALL
TolvimoVoiceName(int32_t index) {
    return index < 0 ? nullptr : tolvimo::InstrumentName(static_cast<uint32_t>(index));
}

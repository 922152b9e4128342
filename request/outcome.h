// What a request did, as a plain record: its status, and either the facts
// of the file it wrote or the kind and facts of its refusal. Front ends
// word it themselves: request/report.h prints the library's own lines from
// it, request/explanation.h says what a refusal means to a person.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "TolvimoWAVInstruments.h"
#include "platform/text_conversion.h"

namespace tolvimo {

// Why a request was refused. Each kind has one row in REFUSAL_KINDS.
enum class RefusalKind : uint8_t {
    None,               // not refused: the file was written
    InstrumentMissing,  // the instrument pointer is null
    NotesMissing,       // the notes pointer is null
    OutputMissing,      // the output path pointer is null
    SinkMissing,        // the sink (or the size to measure into) is null
    UnknownFormat,      // the format is no TOLVIMO_FORMAT_ value
    UnknownInstrument,  // no voice has the name
    BadSampleRate,      // outside MIN_SAMPLE_RATE..MAX_SAMPLE_RATE
    NoteTextTooLong,    // NOTE_TEXT_CAPACITY bytes or more
    InvalidNote,        // a character starts no note
    CannotOpen,         // the output cannot be opened
    CannotWrite,        // the output cannot be written in full
    OutOfMemory,        // memory for the request ran out
};

struct RefusalRow {
    RefusalKind kind;
    int32_t status;    // what WAVInstruments returns
    const char* name;  // a stable identifier for bindings and tables
};

// Every kind with its status, in the enum's order.
inline constexpr RefusalRow REFUSAL_KINDS[] = {
    {RefusalKind::None, TOLVIMO_STATUS_CREATED, "none"},
    {RefusalKind::InstrumentMissing, TOLVIMO_STATUS_UNKNOWN_INSTRUMENT, "instrument_missing"},
    {RefusalKind::NotesMissing, TOLVIMO_STATUS_FAILED, "notes_missing"},
    {RefusalKind::OutputMissing, TOLVIMO_STATUS_FAILED, "output_missing"},
    {RefusalKind::SinkMissing, TOLVIMO_STATUS_FAILED, "sink_missing"},
    {RefusalKind::UnknownFormat, TOLVIMO_STATUS_FAILED, "unknown_format"},
    {RefusalKind::UnknownInstrument, TOLVIMO_STATUS_UNKNOWN_INSTRUMENT, "unknown_instrument"},
    {RefusalKind::BadSampleRate, TOLVIMO_STATUS_BAD_SAMPLE_RATE, "bad_sample_rate"},
    {RefusalKind::NoteTextTooLong, TOLVIMO_STATUS_FAILED, "note_text_too_long"},
    {RefusalKind::InvalidNote, TOLVIMO_STATUS_FAILED, "invalid_note"},
    {RefusalKind::CannotOpen, TOLVIMO_STATUS_FAILED, "cannot_open"},
    {RefusalKind::CannotWrite, TOLVIMO_STATUS_FAILED, "cannot_write"},
    {RefusalKind::OutOfMemory, TOLVIMO_STATUS_FAILED, "out_of_memory"},
};

constexpr const RefusalRow& RowOf(RefusalKind kind) {
    return REFUSAL_KINDS[static_cast<size_t>(kind)];
}

// The table has a row for every kind, each at its kind's place, so RowOf
// finds it; a kind added to the enum without its row fails here.
constexpr bool RowsFollowKinds() {
    for (size_t i = 0; i < std::size(REFUSAL_KINDS); ++i) {
        if (static_cast<size_t>(REFUSAL_KINDS[i].kind) != i) return false;
    }
    return true;
}
static_assert(RowsFollowKinds(), "REFUSAL_KINDS must list the kinds in the enum's order");
static_assert(std::size(REFUSAL_KINDS) == static_cast<size_t>(RefusalKind::OutOfMemory) + 1,
              "REFUSAL_KINDS needs a row for every kind, OutOfMemory last");

// The public header numbers the kinds as the enum does.
static_assert(static_cast<int>(RefusalKind::None) == TOLVIMO_REFUSAL_NONE);
static_assert(static_cast<int>(RefusalKind::InstrumentMissing) ==
              TOLVIMO_REFUSAL_INSTRUMENT_MISSING);
static_assert(static_cast<int>(RefusalKind::NotesMissing) == TOLVIMO_REFUSAL_NOTES_MISSING);
static_assert(static_cast<int>(RefusalKind::OutputMissing) == TOLVIMO_REFUSAL_OUTPUT_MISSING);
static_assert(static_cast<int>(RefusalKind::SinkMissing) == TOLVIMO_REFUSAL_SINK_MISSING);
static_assert(static_cast<int>(RefusalKind::UnknownFormat) == TOLVIMO_REFUSAL_UNKNOWN_FORMAT);
static_assert(static_cast<int>(RefusalKind::UnknownInstrument) ==
              TOLVIMO_REFUSAL_UNKNOWN_INSTRUMENT);
static_assert(static_cast<int>(RefusalKind::BadSampleRate) == TOLVIMO_REFUSAL_BAD_SAMPLE_RATE);
static_assert(static_cast<int>(RefusalKind::NoteTextTooLong) == TOLVIMO_REFUSAL_NOTE_TEXT_TOO_LONG);
static_assert(static_cast<int>(RefusalKind::InvalidNote) == TOLVIMO_REFUSAL_INVALID_NOTE);
static_assert(static_cast<int>(RefusalKind::CannotOpen) == TOLVIMO_REFUSAL_CANNOT_OPEN);
static_assert(static_cast<int>(RefusalKind::CannotWrite) == TOLVIMO_REFUSAL_CANNOT_WRITE);
static_assert(static_cast<int>(RefusalKind::OutOfMemory) == TOLVIMO_REFUSAL_OUT_OF_MEMORY);

// A text argument as the request read it.
struct ArgumentText {
    // The 8-bit spelling, kept only as far as the argument's working buffer
    // reaches; null when the argument was never converted.
    NarrowText narrow;
    // The caller's own argument, whole. Borrowed: read it only while the
    // caller's string lives (the lines quote a cut argument from it).
    // A UTF-8 caller's argument is in `whole` instead.
    const TolvimoUtf16* wide = nullptr;
    const char* whole = nullptr;
    bool cut = false;  // `narrow` holds only the start of the argument
    size_t bytes = 0;  // the whole argument's length in 8-bit bytes
};

// The first character of the note text that starts no note. Every
// character before it is a one-byte note character, so `position` is at
// once its byte offset in the 8-bit text, its index in UTF-16 code units
// and its index in characters.
struct BadNote {
    size_t position = 0;
    char bytes[4] = {};      // the character as the library read it (UTF-8
    size_t byteCount = 0;    // on POSIX, the ANSI code page on Windows)
    char32_t character = 0;  // as the caller wrote it: an unpaired surrogate
                             // keeps its own value, though read as U+FFFD
    char32_t before = 0;     // the character before it, 0 at the start
    char32_t after = 0;      // the UTF-16 unit after it, 0 at the end
    // The voice the whole note text names, as when the arguments are swapped.
    const char* voiceInNotes = nullptr;
};

// Where the file's bytes went.
enum class OutputKind : uint8_t {
    File,    // a named file
    Stream,  // an open stream of the caller's
    Memory,  // memory the caller handed over
};

// The name the lines give a render into memory, in every front end.
inline constexpr char MEMORY_OUTPUT_NAME[] = TOLVIMO_MEMORY_OUTPUT_NAME;

struct Outcome {
    // Both are set together, when the request is decided. Until then the
    // outcome says "refused", so it can never be mistaken for a written
    // file. Which refusal it starts as does not matter: every request
    // replaces it with its own.
    int32_t status = TOLVIMO_STATUS_FAILED;  // RowOf(refusal).status
    RefusalKind refusal = RefusalKind::OutOfMemory;

    // The request, as far as it was read before the outcome was decided.
    ArgumentText instrument;
    int32_t sampleRate = 0;
    size_t noteTextBytes = 0;  // the note text's whole length in 8-bit bytes
    BadNote badNote;           // InvalidNote only
    OutputKind outputKind = OutputKind::File;
    ArgumentText path;                     // OutputKind::File
    const char* shownName = "";            // what the lines call the output: the
                                           // path's 8-bit spelling, a stream's name
                                           // or MEMORY_OUTPUT_NAME
    bool pathNamesStandardOutput = false;  // the named file is where
                                           // standard output writes

    // CannotOpen, CannotWrite: the errno value of the call that failed (0
    // when none is known), and whether that call was on the destination's
    // folder (finding it, or making a file in it) rather than the file.
    int systemError = 0;
    bool inFolder = false;

    // The written file (status 999): the voice's name in the table and the
    // samples in the file. sampleCount also holds for a refusal past the
    // point where the notes were read (CannotOpen, CannotWrite).
    const char* voice = nullptr;
    int32_t sampleCount = 0;
};

}  // namespace tolvimo

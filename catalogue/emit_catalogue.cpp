// Prints the library's facts as JSON: the version, the voices in table
// order, the request's limits and the largest request they allow, the
// status codes, what empty note text comes to and the kinds of refusal. The Python package, the npm
// package, the playground and the documentation checks are all made from
// this one output, so none of them copies a fact from the C++ sources.
#include <cstdio>
#include <string>

#include "TolvimoWAVInstruments.h"
#include "request/note_writer.h"
#include "request/outcome.h"
#include "request/render_entry.h"
#include "request/report.h"
#include "request/request_limits.h"
#include "synthesis/preset_table.h"
#include "synthesis/render_note.h"
#include "tests/utf16.h"
#include "tolvimo_version.h"
#include "wav/wav_writer.h"

namespace {

// Names in the tables are plain ASCII letters: written as they stand.
void PrintVoices() {
    std::printf("  \"voices\": [\n");
    for (size_t kind = 0; kind < std::size(tolvimo::PRESETS); ++kind) {
        const tolvimo::Preset& row = tolvimo::PRESETS[kind];
        std::printf("    {\"name\": \"%s\", \"kind\": %zu, \"harmonics\": %d, ", row.name, kind,
                    static_cast<int>(row.harmonicCount));
        if (row.vibrato) {
            std::printf("\"vibrato\": {\"depth\": %.17g, \"rate\": %.17g}}", row.vibratoDepth,
                        row.vibratoRate);
        } else {
            std::printf("\"vibrato\": null}");
        }
        std::printf("%s\n", kind + 1 < std::size(tolvimo::PRESETS) ? "," : "");
    }
    std::printf("  ],\n");
}

// Lengths are given as the most bytes an argument may have, terminator
// excluded: what a person or a front end checks against.
void PrintLimits() {
    std::printf("  \"limits\": {\n");
    std::printf("    \"minSampleRate\": %d,\n", static_cast<int>(tolvimo::MIN_SAMPLE_RATE));
    std::printf("    \"maxSampleRate\": %d,\n", static_cast<int>(tolvimo::MAX_SAMPLE_RATE));
    std::printf("    \"maxInstrumentNameBytes\": %zu,\n", tolvimo::INSTRUMENT_NAME_CAPACITY - 1);
    std::printf("    \"maxNoteTextBytes\": %zu,\n", tolvimo::NOTE_TEXT_CAPACITY - 1);
    std::printf("    \"maxOutputPathBytes\": %zu,\n", tolvimo::OUTPUT_PATH_CAPACITY - 1);
    std::printf("    \"noteSeconds\": %.17g\n", tolvimo::NOTE_DURATION);
    std::printf("  },\n");
}

// The largest request the limits allow: the longest note text of one-byte
// notes at the top rate. What tests, benchmarks and pages quote as "the
// largest file" is these figures.
void PrintLargestRequest() {
    const int64_t notes = tolvimo::MAX_NOTES;
    // What the renderer makes of a note at the top rate, not what the
    // limits' header assumes it makes.
    const int64_t samples =
        notes * tolvimo::NoteSampleCount(tolvimo::MAX_SAMPLE_RATE, tolvimo::NOTE_DURATION);
    std::printf("  \"largestRequest\": {\n");
    std::printf("    \"notes\": %lld,\n", static_cast<long long>(notes));
    std::printf("    \"sampleRate\": %d,\n", static_cast<int>(tolvimo::MAX_SAMPLE_RATE));
    std::printf("    \"samples\": %lld,\n", static_cast<long long>(samples));
    std::printf("    \"wavBytes\": %lld\n",
                static_cast<long long>(tolvimo::WAV_HEADER_SIZE + 2 * samples));
    std::printf("  },\n");
}

void PrintStatuses() {
    std::printf("  \"statuses\": {\n");
    std::printf("    \"created\": %d,\n", TOLVIMO_STATUS_CREATED);
    std::printf("    \"unknownInstrument\": %d,\n", TOLVIMO_STATUS_UNKNOWN_INSTRUMENT);
    std::printf("    \"badSampleRate\": %d,\n", TOLVIMO_STATUS_BAD_SAMPLE_RATE);
    std::printf("    \"failed\": %d\n", TOLVIMO_STATUS_FAILED);
    std::printf("  },\n");
}

// `text` as a JSON string.
std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        if (c == '\n') {
            quoted += "\\n";
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

void* RefuseRoom(void*, size_t) {
    return nullptr;
}

void* GiveRoom(void*, size_t bytes) {
    static std::string room;
    room.resize(bytes);
    return room.data();
}

int DiscardBytes(void*, const void*, size_t) {
    return 0;
}

using tolvimo_test::ToUtf16;
using tolvimo_test::Utf16;

// What a request with empty note text comes to, a row of the limits'
// table in docs/file-contract.md.
void PrintEmptyNotes() {
    static const Utf16 piano = ToUtf16("piano"), empty = ToUtf16("");
    const tolvimo::Outcome outcome = tolvimo::RenderToMemory(
        piano.c_str(), empty.c_str(), 8000, tolvimo::MemoryFormat::WavFile, {GiveRoom, nullptr});
    std::printf("  \"emptyNotes\": \"%s\",\n", tolvimo::RowOf(outcome.refusal).name);
}

// One real request refused in each way, so that the catalogue shows each
// kind's line as the library prints it.
tolvimo::Outcome Example(tolvimo::RefusalKind kind) {
    using tolvimo::RefusalKind;
    // The outcome may point at its arguments: they live as long as the run.
    static const Utf16 piano = ToUtf16("piano"), nope = ToUtf16("nope"), note = ToUtf16("C"),
                       bad = ToUtf16("CDX"), missing = ToUtf16("no such folder/out.wav"),
                       tooLong = ToUtf16(std::string(tolvimo::NOTE_TEXT_CAPACITY, 'C'));
    const auto inMemory = [](const Utf16* instrument, const Utf16* notes, int32_t rate,
                             void* (*reserve)(void*, size_t)) {
        return tolvimo::RenderToMemory(instrument ? instrument->c_str() : nullptr,
                                       notes ? notes->c_str() : nullptr, rate,
                                       tolvimo::MemoryFormat::WavFile, {reserve, nullptr});
    };
    switch (kind) {
        case RefusalKind::None: return inMemory(&piano, &note, 8000, GiveRoom);
        case RefusalKind::InstrumentMissing: return inMemory(nullptr, &note, 8000, GiveRoom);
        case RefusalKind::NotesMissing: return inMemory(&piano, nullptr, 8000, GiveRoom);
        case RefusalKind::OutputMissing:
            return tolvimo::RenderToFile(piano.c_str(), note.c_str(), 8000, nullptr);
        case RefusalKind::SinkMissing:
            return tolvimo::RenderUtf8ToSink("piano", "C", 8000, tolvimo::MemoryFormat::WavFile,
                                             {nullptr, nullptr});
        case RefusalKind::UnknownFormat:
            return tolvimo::RenderUtf8ToSink("piano", "C", 8000,
                                             static_cast<tolvimo::MemoryFormat>(0xFF),
                                             {DiscardBytes, nullptr});
        case RefusalKind::UnknownInstrument: return inMemory(&nope, &note, 8000, GiveRoom);
        case RefusalKind::BadSampleRate: return inMemory(&piano, &note, 7999, GiveRoom);
        case RefusalKind::NoteTextTooLong: return inMemory(&piano, &tooLong, 8000, GiveRoom);
        case RefusalKind::InvalidNote: return inMemory(&piano, &bad, 8000, GiveRoom);
        case RefusalKind::CannotOpen:
            return tolvimo::RenderToFile(piano.c_str(), note.c_str(), 8000, missing.c_str());
        case RefusalKind::CannotWrite: {
            // A stream open only for reading refuses every byte.
            std::FILE* readOnly = std::fopen("/dev/null", "rb");
            tolvimo::Outcome outcome =
                tolvimo::RenderToStream(piano.c_str(), note.c_str(), 8000, readOnly, "out.wav");
            if (readOnly != nullptr) std::fclose(readOnly);
            return outcome;
        }
        case RefusalKind::OutOfMemory: return inMemory(&piano, &note, 8000, RefuseRoom);
    }
    return inMemory(&piano, &note, 8000, RefuseRoom);
}

// Each kind of outcome a request can have, with the status it returns and
// the lines of an example. Fails, naming both kinds, when an example
// comes out as another kind (a new kind needs its example in Example).
bool PrintRefusals() {
    bool examplesHold = true;
    std::printf("  \"refusals\": [\n");
    for (size_t i = 0; i < std::size(tolvimo::REFUSAL_KINDS); ++i) {
        const tolvimo::RefusalRow& row = tolvimo::REFUSAL_KINDS[i];
        const tolvimo::Outcome example = Example(row.kind);
        if (example.refusal != row.kind) {
            std::fprintf(stderr,
                         "emit_catalogue: the example request for \"%s\" came out as \"%s\"\n",
                         row.name, tolvimo::RowOf(example.refusal).name);
            examplesHold = false;
        }
        std::printf("    {\"kind\": \"%s\", \"status\": %d, \"example\": %s}%s\n", row.name,
                    static_cast<int>(row.status), Quoted(tolvimo::LibraryLines(example)).c_str(),
                    i + 1 < std::size(tolvimo::REFUSAL_KINDS) ? "," : "");
    }
    std::printf("  ]\n");
    return examplesHold;
}

}  // namespace

int main() {
    std::printf("{\n  \"version\": \"%s\",\n", TOLVIMO_VERSION_TEXT);
    PrintVoices();
    PrintLimits();
    PrintLargestRequest();
    PrintStatuses();
    PrintEmptyNotes();
    const bool examplesHold = PrintRefusals();
    std::printf("}\n");
    return examplesHold && std::ferror(stdout) == 0 && std::fflush(stdout) == 0 ? 0 : 1;
}

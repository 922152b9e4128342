// The WebAssembly module's entry for JavaScript (web/site/renderer.js): a
// request rendered into the module's memory, answered with the file's bytes
// and the outcome's facts as JSON, so the JavaScript side reads fields and
// never the library's wording. Compiled only into the module; the native
// shared library keeps its one export.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "request/explanation.h"
#include "request/render_entry.h"
#include "request/report.h"

namespace {

// What tolvimo_wasm_render hands back, read by the JavaScript side as four
// 32-bit words. Both blocks are the module's malloc memory.
struct Answer {
    uint8_t* wav;  // the WAV file, or null when refused
    uint32_t wavBytes;
    char* facts;  // UTF-8 JSON, see FactsOf
    uint32_t factsBytes;
};
static_assert(sizeof(Answer) == 16, "read as four 32-bit words");

struct Reserved {
    void* bytes = nullptr;
    size_t size = 0;
};

void* Reserve(void* context, size_t bytes) {
    auto& reserved = *static_cast<Reserved*>(context);
    // malloc(0) may give null, which would refuse an empty file.
    reserved.bytes = std::malloc(bytes > 0 ? bytes : 1);
    reserved.size = bytes;
    return reserved.bytes;
}

// `text` as a JSON string. The library's text is UTF-8, passed as it is;
// only quotes, backslashes and control characters are escaped.
void PutString(std::string& json, std::string_view text) {
    json += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(byte));
            json += escaped;
        } else {
            json += c;
        }
    }
    json += '"';
}

void PutField(std::string& json, const char* name) {
    json += ",\"";
    json += name;
    json += "\":";
}

// UTF-16 units of UTF-8 `text`: one per character, two past U+FFFF.
size_t Utf16Length(std::string_view text) {
    size_t units = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) units += byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

size_t UnitsOf(const TolvimoUtf16* text) {
    size_t units = 0;
    while (text[units] != 0) ++units;
    return units;
}

// Where the quoted name ends in the lines of an unknown instrument, in
// UTF-16 units of the lines joined by line feeds: the JavaScript side was
// given only the start of an over-long name and puts the rest in there.
// Found by wording the lines once more with a mark in the name's place.
size_t InstrumentEnd(tolvimo::Outcome& outcome, size_t instrumentUnits) {
    static const TolvimoUtf16 MARK[] = {0x1, 0};
    outcome.instrument = tolvimo::ArgumentText{{}, MARK, true, 1};
    const std::string marked = tolvimo::LibraryLines(outcome);
    const size_t at = marked.find('\x01');
    return Utf16Length(std::string_view(marked).substr(0, at)) + instrumentUnits;
}

// The outcome's facts: {"status", "refusal" (REFUSAL_KINDS' name), "lines"
// (the library's, without line feeds), and as the refusal has them:
// "position", "character" (as the caller wrote it), "hint", "suggestions",
// "instrumentEnd"}. A render into memory opens and writes no file, so there
// is never a system's reason to give.
std::string FactsOf(tolvimo::Outcome& outcome, size_t instrumentUnits) {
    const tolvimo::RefusalRow& row = tolvimo::RowOf(outcome.refusal);
    std::string json = "{\"status\":" + std::to_string(outcome.status);
    PutField(json, "refusal");
    PutString(json, row.name);
    PutField(json, "lines");
    json += '[';
    const std::string lines = tolvimo::LibraryLines(outcome);
    for (size_t start = 0; start < lines.size();) {
        const size_t end = lines.find('\n', start);
        if (start > 0) json += ',';
        PutString(json, std::string_view(lines).substr(start, end - start));
        start = end == std::string::npos ? lines.size() : end + 1;
    }
    json += ']';
    if (outcome.refusal == tolvimo::RefusalKind::InvalidNote) {
        const tolvimo::BadNote& note = outcome.badNote;
        PutField(json, "position");
        json += std::to_string(note.position);
        PutField(json, "character");
        if (note.character >= 0xD800 && note.character <= 0xDFFF) {
            // An unpaired surrogate, read as U+FFFD, is given back as the
            // caller's own unit: JSON's escape makes it a lone surrogate in
            // a JavaScript string, so notes[position] === character.
            char escaped[16];
            std::snprintf(escaped, sizeof escaped, "\"\\u%04x\"",
                          static_cast<unsigned>(note.character));
            json += escaped;
        } else {
            PutString(json, std::string_view(note.bytes, note.byteCount));
        }
        PutField(json, "hint");
        PutString(json, tolvimo::NoteHint(note));
    }
    if (outcome.refusal == tolvimo::RefusalKind::UnknownInstrument) {
        PutField(json, "suggestions");
        json += '[';
        const auto names = tolvimo::CloseInstruments(outcome);
        for (size_t i = 0; i < names.size(); ++i) {
            if (i > 0) json += ',';
            PutString(json, names[i]);
        }
        json += ']';
        PutField(json, "hint");
        PutString(json, tolvimo::InstrumentHint(outcome, "VOICES holds every name"));
        PutField(json, "instrumentEnd");
        json += std::to_string(InstrumentEnd(outcome, instrumentUnits));
    }
    json += '}';
    return json;
}

}  // namespace

extern "C" {

// Renders the request (the arguments WAVInstruments takes, without the
// output path) into memory. Null when memory for the answer itself runs
// out; release the answer with tolvimo_wasm_release.
EMSCRIPTEN_KEEPALIVE Answer* tolvimo_wasm_render(const TolvimoUtf16* instrument,
                                                 const TolvimoUtf16* notes, int32_t sampleRate) {
    Reserved reserved;
    const tolvimo::MemorySink sink{Reserve, &reserved};
    tolvimo::Outcome outcome = tolvimo::RenderToMemory(instrument, notes, sampleRate,
                                                       tolvimo::MemoryFormat::WavFile, sink);
    const bool written = outcome.status == TOLVIMO_STATUS_CREATED;
    if (!written) {
        std::free(reserved.bytes);
        reserved = {};
    }
    const std::string facts = FactsOf(outcome, instrument ? UnitsOf(instrument) : 0);
    auto* answer = static_cast<Answer*>(std::malloc(sizeof(Answer)));
    auto* text = static_cast<char*>(std::malloc(facts.size()));
    if (answer == nullptr || text == nullptr) {
        std::free(answer);
        std::free(text);
        std::free(reserved.bytes);
        return nullptr;
    }
    std::memcpy(text, facts.data(), facts.size());
    *answer = {static_cast<uint8_t*>(reserved.bytes), static_cast<uint32_t>(reserved.size), text,
               static_cast<uint32_t>(facts.size())};
    return answer;
}

EMSCRIPTEN_KEEPALIVE void tolvimo_wasm_release(Answer* answer) {
    if (answer == nullptr) return;
    std::free(answer->wav);
    std::free(answer->facts);
    std::free(answer);
}

}  // extern "C"

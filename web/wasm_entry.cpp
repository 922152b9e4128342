// The WebAssembly module's entry for JavaScript (web/site/renderer.js): a
// request rendered into the module's memory through the library's public
// functions, answered with the file's bytes and the outcome's facts as
// JSON, so the JavaScript side reads fields and never the library's
// wording. Compiled only into the module.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "TolvimoWAVInstruments.h"

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

// JavaScript's UTF-16 text as the library's UTF-8; an unpaired surrogate
// becomes U+FFFD, as the library reads one.
std::string Utf8(const char16_t* text) {
    std::string utf8;
    for (size_t i = 0; text[i] != 0; ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            utf8 += static_cast<char>(code);
        } else if (code < 0x800) {
            utf8 += static_cast<char>(0xC0 | (code >> 6));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            utf8 += static_cast<char>(0xE0 | (code >> 12));
            utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | (code >> 18));
            utf8 += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return utf8;
}

// Where the library's sink puts the file: memory of the exact size measured.
struct Room {
    uint8_t* next;
    size_t left;
};

int Fill(void* context, const void* bytes, size_t size) {
    auto& room = *static_cast<Room*>(context);
    if (size > room.left) return 1;  // more than measured: never happens
    std::memcpy(room.next, bytes, size);
    room.next += size;
    room.left -= size;
    return 0;
}

// One part of the library's description of `outcome`.
std::string Part(const TolvimoOutcome& outcome, int32_t part) {
    std::string text(TolvimoDescribePart(&outcome, part, nullptr, 0), '\0');
    TolvimoDescribePart(&outcome, part, text.data(), text.size() + 1);
    return text;
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

size_t UnitsOf(const char16_t* text) {
    size_t units = 0;
    while (text[units] != 0) ++units;
    return units;
}

// Where the quoted name ends in the lines of an unknown instrument, in
// UTF-16 units of the lines joined by line feeds: the JavaScript side was
// given only the start of an over-long name and puts the rest in there.
// Found by wording the lines once more with a mark in the name's place.
size_t InstrumentEnd(TolvimoOutcome outcome, size_t instrumentUnits) {
    outcome.instrument = "\x01";
    const std::string marked = Part(outcome, TOLVIMO_PART_LINES);
    const size_t at = marked.find('\x01');
    return Utf16Length(std::string_view(marked).substr(0, at)) + instrumentUnits;
}

// `items` (one a line) as a JSON array of strings.
void PutList(std::string& json, const std::string& items) {
    json += '[';
    for (size_t start = 0; start < items.size();) {
        size_t end = items.find('\n', start);
        if (end == std::string::npos) end = items.size();
        if (start > 0) json += ',';
        PutString(json, std::string_view(items).substr(start, end - start));
        start = end + 1;
    }
    json += ']';
}

// The outcome's facts: {"status", "refusal" (its TOLVIMO_REFUSAL_ number,
// the catalogue's order), "lines" (the library's, without line feeds), and
// as the refusal has them: "position", "character" (as the caller wrote
// it), "hint", "suggestions", "instrumentEnd"}. A render into memory opens
// and writes no file, so there is never a system's reason to give.
std::string FactsOf(TolvimoOutcome outcome, const char16_t* notes, size_t instrumentUnits) {
    std::string json = "{\"status\":" + std::to_string(outcome.status);
    PutField(json, "refusal");
    json += std::to_string(outcome.refusal);
    PutField(json, "lines");
    PutList(json, Part(outcome, TOLVIMO_PART_LINES));
    if (outcome.refusal == TOLVIMO_REFUSAL_INVALID_NOTE) {
        // Every unit before it is a one-byte note character: its byte
        // offset is its index in the caller's UTF-16 text.
        const auto position = static_cast<size_t>(outcome.position);
        PutField(json, "position");
        json += std::to_string(position);
        PutField(json, "character");
        const char16_t unit = notes[position];
        const bool paired = unit >= 0xD800 && unit <= 0xDBFF && notes[position + 1] >= 0xDC00 &&
                            notes[position + 1] <= 0xDFFF;
        if (unit >= 0xD800 && unit <= 0xDFFF && !paired) {
            // An unpaired surrogate, read as U+FFFD, is given back as the
            // caller's own unit: JSON's escape makes it a lone surrogate in
            // a JavaScript string, so notes[position] === character.
            char escaped[16];
            std::snprintf(escaped, sizeof escaped, "\"\\u%04x\"", static_cast<unsigned>(unit));
            json += escaped;
            outcome.character = unit;
        } else {
            const char16_t own[3] = {unit, paired ? notes[position + 1] : char16_t{0}, 0};
            PutString(json, Utf8(own));
        }
        PutField(json, "hint");
        PutString(json, Part(outcome, TOLVIMO_PART_HINT));
    }
    if (outcome.refusal == TOLVIMO_REFUSAL_UNKNOWN_INSTRUMENT) {
        PutField(json, "suggestions");
        PutList(json, Part(outcome, TOLVIMO_PART_SUGGESTIONS));
        // The library's hint ends where the page says where its list is.
        PutField(json, "hint");
        PutString(json, Part(outcome, TOLVIMO_PART_HINT) + " VOICES holds every name");
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
EMSCRIPTEN_KEEPALIVE Answer* tolvimo_wasm_render(const char16_t* instrument, const char16_t* notes,
                                                 int32_t sampleRate) {
    const std::string name = instrument ? Utf8(instrument) : std::string();
    const std::string text = notes ? Utf8(notes) : std::string();
    const char* const nameArg = instrument ? name.c_str() : nullptr;
    const char* const notesArg = notes ? text.c_str() : nullptr;
    TolvimoOutcome outcome{};
    uint64_t size = 0;
    uint8_t* wav = nullptr;
    if (TolvimoMeasure(nameArg, notesArg, sampleRate, TOLVIMO_FORMAT_WAV, &size, &outcome) ==
        TOLVIMO_STATUS_CREATED) {
        wav = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
        if (wav == nullptr) {
            outcome.status = TOLVIMO_STATUS_FAILED;
            outcome.refusal = TOLVIMO_REFUSAL_OUT_OF_MEMORY;
        } else {
            Room room{wav, static_cast<size_t>(size)};
            TolvimoRenderToSink(nameArg, notesArg, sampleRate, TOLVIMO_FORMAT_WAV, Fill, &room,
                                &outcome);
        }
    }
    const bool written = outcome.status == TOLVIMO_STATUS_CREATED;
    if (!written) {
        std::free(wav);
        wav = nullptr;
        size = 0;
    }
    const std::string facts = FactsOf(outcome, notes, instrument ? UnitsOf(instrument) : 0);
    auto* answer = static_cast<Answer*>(std::malloc(sizeof(Answer)));
    auto* json = static_cast<char*>(std::malloc(facts.size()));
    if (answer == nullptr || json == nullptr) {
        std::free(answer);
        std::free(json);
        std::free(wav);
        return nullptr;
    }
    std::memcpy(json, facts.data(), facts.size());
    *answer = {wav, static_cast<uint32_t>(size), json, static_cast<uint32_t>(facts.size())};
    return answer;
}

EMSCRIPTEN_KEEPALIVE void tolvimo_wasm_release(Answer* answer) {
    if (answer == nullptr) return;
    std::free(answer->wav);
    std::free(answer->facts);
    std::free(answer);
}

}  // extern "C"

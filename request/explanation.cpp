#include "request/explanation.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "notes/note_reader.h"
#include "platform/output_protocol.h"
#include "request/report.h"
#include "request/request_limits.h"
#include "synthesis/preset_table.h"

namespace tolvimo {
namespace {

std::string Utf8(char32_t value) {
    std::string text;
    if (value < 0x80) {
        text.push_back(static_cast<char>(value));
    } else if (value < 0x800) {
        text.push_back(static_cast<char>(0xC0 | (value >> 6)));
        text.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else if (value < 0x10000) {
        text.push_back(static_cast<char>(0xE0 | (value >> 12)));
        text.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else {
        text.push_back(static_cast<char>(0xF0 | (value >> 18)));
        text.push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    }
    return text;
}

std::string CodePoint(char32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(value));
    return text;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

bool IsBlank(char32_t value) {
    return value == ' ' || value == '\t' || value == '\n' || value == '\r' || value == 0xA0 ||
           (value >= 0x2000 && value <= 0x200B) || value == 0x3000;
}

bool IsAccidental(char32_t value) {
    return value == '#' || value == 'b';
}

bool IsDigit(char32_t value) {
    return value >= '0' && value <= '9';
}

bool IsNoteLetter(char32_t value) {
    return value >= 'A' && value <= 'G';
}

bool IsOneOf(char32_t value, const char* characters) {
    return value != 0 && value < 0x80 && std::strchr(characters, static_cast<int>(value));
}

// What note text is, for someone who wrote a rest, a length or a chord.
std::string WhatNoteTextIs() {
    const double duration = NOTE_DURATION;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", duration);
    return std::string("note text is notes only: every note lasts ") + seconds +
           " s, one after another, with no rests, lengths or chords";
}

// Whether the whole of `text` reads as notes ("CDE", "C#4Bb3").
bool ReadsAsNotes(std::string_view text) {
    const std::string terminated(text);
    uint32_t position = 0;
    while (position < terminated.size()) {
        if (!(ParseNote(terminated.c_str(), position) >= 0.0)) return false;
    }
    return !terminated.empty();
}

const char ORDER[] = "the instrument comes first, then the notes";

// The code points of UTF-8 `text`, ASCII letters in lower case; a byte
// that starts no character stands for itself.
std::u32string LowerCharacters(std::string_view text) {
    std::u32string characters;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        char32_t value = lead;
        if (length > 1 && i + length <= text.size()) {
            value = lead & (0x7F >> length);
            for (size_t k = 1; k < length; ++k) {
                value = (value << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            }
            i += length;
        } else {
            ++i;
        }
        characters.push_back(value >= 'A' && value <= 'Z' ? value - 'A' + 'a' : value);
    }
    return characters;
}

// Edits that turn `a` into `b`: a character put in, left out, changed, or
// two neighbours swapped, each counting one.
size_t EditDistance(std::u32string_view a, std::u32string_view b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] != b[j - 1] ? 1 : 0)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

// The folder a new file at `path` would go into.
std::string FolderOf(std::string_view path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string_view::npos) return ".";
    if (slash == 0) return "/";
    return std::string(path.substr(0, slash));
}

// The file size limit the write ran into, where there is one.
std::string FileSizeLimitWords() {
    uint64_t limit = 0;
    if (!FileSizeLimit(limit)) return {};
    return ": the file size limit (ulimit -f) is " + std::to_string(limit) + " bytes";
}

}  // namespace

std::string NameCharacter(char32_t value) {
    if (value == ' ') return "' ' (space)";
    if (value == '\t') return "U+0009 (tab)";
    if (value == '\n') return "U+000A (line feed)";
    if (value == '\r') return "U+000D (carriage return)";
    if (value < 0x20 || value == 0x7F) return CodePoint(value) + " (a control character)";
    if (value < 0x80) return Quoted(Utf8(value));
    if (value == 0xA0) return "U+00A0 (no-break space)";
    if (IsBlank(value)) return CodePoint(value) + " (a space)";
    if (value >= 0xD800 && value <= 0xDFFF) {
        return CodePoint(value) + " (an unpaired surrogate, read as U+FFFD)";
    }
    if (value == 0xFFFD) return "U+FFFD (what a byte that is not UTF-8 becomes)";
    return Quoted(Utf8(value)) + " (" + CodePoint(value) + ")";
}

std::string NoteHint(const BadNote& note) {
    const char32_t value = note.character;
    if (note.voiceInNotes != nullptr) {
        return "the notes are " + Quoted(note.voiceInNotes) + ", a voice's name: " + ORDER;
    }
    if (IsAccidental(value) && (IsAccidental(note.before) || IsDigit(note.before))) {
        return "a note takes one # or b before its octave digit and one more after it";
    }
    if (value >= 'a' && value <= 'g') {
        return "note letters are upper case: write " + Quoted(Utf8(value - 'a' + 'A'));
    }
    // Sharp and flat signs as printed in scores.
    if (value == 0x266F) return "write a sharp as #, as in 'C#4'";
    if (value == 0x266D) return "write a flat as b, as in 'Bb3'";
    // "C-1": an octave below 0, as some note numberings write it.
    if (value == '-' && IsDigit(note.after)) {
        return "octave digits run from 0 to 8, with no minus sign: the lowest octave is 0, as in "
               "'C0'";
    }
    // German and other notations call B "H", and B flat "B".
    if (value == 'H' || value == 'h') {
        return "there is no H: in some notations H is B, written 'B' here (and their B is 'Bb')";
    }
    if (IsBlank(value) || IsOneOf(value, ",;.-_|")) {
        return "write the notes with nothing between them, as in 'C4D4E4'; " + WhatNoteTextIs();
    }
    // Rests as some notations write them.
    if (IsOneOf(value, "RrZz")) return "a rest cannot be written; " + WhatNoteTextIs();
    // Lengths: "C4/4", "C4:0.25", "C4*2".
    if (IsOneOf(value, "/:*")) return "a length cannot be written; " + WhatNoteTextIs();
    // Chords: "[CEG]", "<C E G>", "(CEG)", "C+E+G", "Am".
    if (IsOneOf(value, "[]{}()<>+&") ||
        (value == 'm' && (IsNoteLetter(note.before) || IsAccidental(note.before)))) {
        return "a chord cannot be written, only its notes one after another, as in 'C4E4G4'; " +
               WhatNoteTextIs();
    }
    if (value == '9') return "octave digits run from 0 to 8";
    if (IsDigit(value) && IsDigit(note.before)) return "a note has one octave digit";
    return "a note is a letter A to G, then optionally # or b, an octave digit 0 to 8 and, "
           "after the digit, one more # or b";
}

std::vector<std::string_view> CloseInstruments(std::string_view typed) {
    const std::u32string lower = LowerCharacters(typed);
    // One slip in a short name, two in a long one: more, and the name that
    // comes out is one the person never had in mind ("cello", "bell").
    const size_t allowed = lower.size() >= 8 ? 2 : 1;
    std::vector<std::pair<size_t, std::string_view>> near;
    for (const auto& preset : PRESETS) {
        const std::string_view name = preset.name;
        const std::u32string candidate(name.begin(), name.end());
        size_t slips = EditDistance(lower, candidate);
        // "glock" for "glockenspiel": the first three letters or more.
        if (lower.size() >= 3 && candidate.compare(0, lower.size(), lower) == 0) {
            slips = std::min<size_t>(slips, 1);
        }
        if (slips <= allowed) near.emplace_back(slips, name);
    }
    std::stable_sort(near.begin(), near.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string_view> names;
    for (size_t i = 0; i < near.size() && i < 3; ++i) names.push_back(near[i].second);
    return names;
}

std::vector<std::string_view> CloseInstruments(const Outcome& outcome) {
    const NarrowText& typed = outcome.instrument.narrow;
    return CloseInstruments(typed.text ? std::string_view(typed.text.get(), typed.length)
                                       : std::string_view());
}

std::string InstrumentHint(const Outcome& outcome, std::string_view everyName) {
    const NarrowText& typed = outcome.instrument.narrow;
    const std::string_view name =
        typed.text ? std::string_view(typed.text.get(), typed.length) : std::string_view();
    std::string hint;
    if (ReadsAsNotes(name)) {
        hint = Quoted(std::string(name)) + " reads as notes: " + ORDER + ";";
    } else {
        const auto nearest = CloseInstruments(name);
        for (size_t i = 0; i < nearest.size(); ++i) {
            hint += (i == 0                    ? "did you mean "
                     : i + 1 == nearest.size() ? " or "
                                               : ", ") +
                    Quoted(std::string(nearest[i]));
        }
        hint += nearest.empty() ? "none of the " + std::to_string(std::size(PRESETS)) +
                                      " voices is named like it;"
                                : "?";
    }
    return hint + " " + std::string(everyName);
}

std::string EscapeControls(std::string_view text) {
    std::string shown;
    for (const char byte : text) {
        const auto value = static_cast<unsigned char>(byte);
        if (value == '\t') {
            shown += "\\t";
        } else if (value == '\n') {
            shown += "\\n";
        } else if (value == '\r') {
            shown += "\\r";
        } else if (value < 0x20 || value == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(value));
            shown += escaped;
        } else {
            shown += byte;
        }
    }
    return shown;
}

std::string ShownLine(const Outcome& outcome) {
    std::string line = LibraryLines(outcome);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return EscapeControls(line);
}

std::string SystemWords(int error) {
    return std::generic_category().message(error);
}

std::string OutputReason(const Outcome& outcome) {
    if (outcome.refusal != RefusalKind::CannotOpen && outcome.refusal != RefusalKind::CannotWrite) {
        return {};
    }
    if (outcome.outputKind == OutputKind::File && outcome.path.cut) {
        return "the path is " + std::to_string(outcome.path.bytes) +
               " bytes long; it must be shorter than " + std::to_string(OUTPUT_PATH_CAPACITY);
    }
    if (outcome.systemError == 0) return {};
    std::string words = SystemWords(outcome.systemError);
    if (outcome.outputKind != OutputKind::File) return words;
    if (outcome.inFolder) {
        return "folder " + Quoted(FolderOf(outcome.path.narrow.text.get())) + ": " + words;
    }
    if (outcome.refusal == RefusalKind::CannotWrite && outcome.systemError == EFBIG) {
        return words + FileSizeLimitWords();
    }
    return words;
}

}  // namespace tolvimo

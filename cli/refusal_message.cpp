#include "cli/refusal_message.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cli/command_line.h"
#include "cli/output_problem.h"
#include "synthesis/preset_table.h"

namespace tolvimo_cli {
namespace {

struct Character {
    size_t number = 0;  // counted from 1; 0: no character starts at the position
    char32_t value = 0;
    char32_t before = 0;  // the character before it, or 0
};

// Bytes the library's 8-bit text spends on `value`: UTF-8, or one byte of
// the ANSI code page on Windows.
size_t NarrowBytes(char32_t value) {
#if defined(_WIN32)
    (void)value;
    return 1;
#else
    return value < 0x80 ? 1 : value < 0x800 ? 2 : value < 0x10000 ? 3 : 4;
#endif
}

// The code point starting at `i`, which moves past it.
char32_t NextCharacter(const Utf16String& text, size_t& i) {
    const char32_t unit = static_cast<char16_t>(text[i++]);
    if (unit < 0xD800 || unit > 0xDFFF) return unit;
    if (unit <= 0xDBFF && i < text.size()) {
        const char32_t low = static_cast<char16_t>(text[i]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            ++i;
            return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return 0xFFFD;  // an unpaired surrogate, read by the library as U+FFFD
}

Character CharacterAt(const Utf16String& notes, size_t position) {
    size_t bytes = 0;
    char32_t before = 0;
    for (size_t i = 0, number = 1; i < notes.size() && bytes <= position; ++number) {
        const char32_t value = NextCharacter(notes, i);
        if (bytes == position) return {number, value, before};
        bytes += NarrowBytes(value);
        before = value;
    }
    return {};
}

size_t NarrowLength(const Utf16String& text) {
    size_t bytes = 0;
    for (size_t i = 0; i < text.size();) bytes += NarrowBytes(NextCharacter(text, i));
    return bytes;
}

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

bool IsBlank(char32_t value) {
    return value == ' ' || value == '\t' || value == '\n' || value == '\r' || value == 0xA0 ||
           (value >= 0x2000 && value <= 0x200B) || value == 0x3000;
}

// A name for the character that a person can see, whatever it is.
std::string Named(char32_t value) {
    if (value == ' ') return "' ' (space)";
    if (value == '\t') return "U+0009 (tab)";
    if (value == '\n') return "U+000A (line feed)";
    if (value == '\r') return "U+000D (carriage return)";
    if (value < 0x20 || value == 0x7F) return CodePoint(value) + " (a control character)";
    if (value < 0x80) return Quoted(Utf8(value));
    if (value == 0xA0) return "U+00A0 (no-break space)";
    if (IsBlank(value)) return CodePoint(value) + " (a space)";
    if (value == 0xFFFD) return "U+FFFD (what a byte that is not UTF-8 becomes)";
    return Quoted(Utf8(value)) + " (" + CodePoint(value) + ")";
}

bool IsAccidental(char32_t value) {
    return value == '#' || value == 'b';
}
bool IsDigit(char32_t value) {
    return value >= '0' && value <= '9';
}

std::string Hint(const Character& at) {
    const char32_t value = at.value;
    if (IsAccidental(value) && (IsAccidental(at.before) || IsDigit(at.before))) {
        return "a note takes one # or b before its octave digit and one more after it";
    }
    if (value >= 'a' && value <= 'g') {
        return "note letters are upper case: write " + Quoted(Utf8(value - 'a' + 'A'));
    }
    if (IsBlank(value) || (value < 0x80 && std::strchr(",;.:-_|/+", static_cast<int>(value)))) {
        return "write the notes with nothing between them, as in 'C4D4E4'";
    }
    if (value == '9') return "octave digits run from 0 to 8";
    if (IsDigit(value) && IsDigit(at.before)) return "a note has one octave digit";
    return "a note is a letter A to G, then optionally # or b, an octave digit 0 to 8 and, "
           "after the digit, one more # or b";
}

size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return lower;
}

std::string InstrumentHint(std::string_view typed) {
    const auto nearest = NearestInstruments(typed);
    std::string hint;
    for (size_t i = 0; i < nearest.size(); ++i) {
        hint += (i == 0                    ? "did you mean "
                 : i + 1 == nearest.size() ? " or "
                                           : ", ") +
                Quoted(nearest[i]);
    }
    if (!hint.empty()) return hint + "? 'wavinstruments --list' prints every name";
    return "'wavinstruments --list' prints the " + std::to_string(std::size(tolvimo::PRESETS)) +
           " instrument names";
}

bool StartsWith(std::string_view text, std::string_view start) {
    return text.substr(0, start.size()) == start;
}

}  // namespace

std::vector<std::string> NearestInstruments(std::string_view typed) {
    const std::string lower = Lower(typed);
    const size_t allowed = std::max<size_t>(2, lower.size() / 3);
    std::vector<std::pair<size_t, std::string>> near;
    for (const auto& preset : tolvimo::PRESETS) {
        const std::string_view name = preset.name;
        size_t distance = EditDistance(lower, name);
        // "glock" for "glockenspiel": a beginning of three letters or more.
        if (lower.size() >= 3 && StartsWith(name, lower)) distance = std::min<size_t>(distance, 1);
        if (distance <= allowed) near.emplace_back(distance, name);
    }
    std::stable_sort(near.begin(), near.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    for (size_t i = 0; i < near.size() && i < 3; ++i) names.push_back(near[i].second);
    return names;
}

std::string DescribeBadNote(const Utf16String& notes, size_t position) {
    const Character at = CharacterAt(notes, position);
    if (at.number == 0) return {};
    return "character " + std::to_string(at.number) + " of NOTES (byte position " +
           std::to_string(position) + ") is " + Named(at.value) + "; " + Hint(at);
}

std::vector<std::string> ExplainRefusal(std::string_view libraryLine, const TypedRequest& request) {
    std::string line(libraryLine);
    const auto reason = [&line](const std::string& why) {
        if (!why.empty()) line += " (" + why + ")";
    };
    std::vector<std::string> more;
    if (StartsWith(libraryLine, "Error: Unknown instrument '")) {
        more.push_back(InstrumentHint(request.instrument));
    } else if (StartsWith(libraryLine, "Error: Sample rate must be")) {
        reason("SAMPLE_RATE is " + std::string(request.sampleRate));
    } else if (StartsWith(libraryLine, "Error: Invalid note at position ")) {
        const size_t position = std::strtoul(libraryLine.data() + 32, nullptr, 10);
        const std::string described = DescribeBadNote(request.notes, position);
        if (!described.empty()) more.push_back(described);
    } else if (StartsWith(libraryLine, "Error: Note text must be shorter than")) {
        reason("NOTES is " + std::to_string(NarrowLength(request.notes)) + " bytes");
    } else if (StartsWith(libraryLine, "Error: Cannot open output file '")) {
        reason(WhyCannotOpen(request.output));
    } else if (StartsWith(libraryLine, "Error: Cannot write output file '")) {
        if (!request.streamed) {
            reason(WhyCannotWrite(request.output));
        } else if (request.streamError != 0) {
            reason("standard output: " + SystemWords(request.streamError));
        }
    }
    std::vector<std::string> lines{line};
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

}  // namespace tolvimo_cli

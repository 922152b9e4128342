#include "notes/note_reader.h"

#include <cmath>
#include <cstring>

namespace tolvimo {
namespace {

constexpr double A4_FREQUENCY = 440.0;
// The double nearest 1/12; semitone counts are multiplied by it, never
// divided by 12, so every pitch comes out in the same last bit everywhere.
constexpr double SEMITONE_EXPONENT = 0.08333333333333333;
constexpr int DEFAULT_OCTAVE = 4;

bool IsAccidental(char c) {
    return c == '#' || c == 'b';
}

// A sharp or flat multiplies the frequency rather than moving the letter, so
// C# and Db may differ in the last bit.
double AccidentalFactor(char accidental) {
    return std::pow(2.0, accidental == '#' ? SEMITONE_EXPONENT : -SEMITONE_EXPONENT);
}

// Semitones from A up to the letter, within one octave.
int LetterOffset(char letter) {
    switch (letter) {
        case 'C': return -9;
        case 'D': return -7;
        case 'E': return -5;
        case 'F': return -4;
        case 'G': return -2;
        case 'B': return 2;
        default: return 0;  // 'A'
    }
}

}  // namespace

double NoteFrequency(char letter, int octave) {
    const int n = (octave - 4) * 12 + LetterOffset(letter);
    return std::pow(2.0, static_cast<double>(n) * SEMITONE_EXPONENT) * A4_FREQUENCY;
}

double ParseNote(const char* text, uint32_t& position) {
    const size_t length = std::strlen(text);
    size_t at = position;
    if (at >= length) return NO_NOTE;
    const char letter = text[at];
    if (letter < 'A' || letter > 'G') return NO_NOTE;
    ++at;

    bool hasAccidental = false;
    double accidental = 1.0;
    if (at < length && IsAccidental(text[at])) {
        hasAccidental = true;
        accidental = AccidentalFactor(text[at]);
        ++at;
    }
    double frequency = NoteFrequency(letter, DEFAULT_OCTAVE);
    if (hasAccidental) frequency = frequency * accidental;

    if (at < length && text[at] >= '0' && text[at] <= '8') {
        frequency = NoteFrequency(letter, text[at] - '0');
        if (hasAccidental) frequency = frequency * accidental;
        ++at;
        if (at < length && IsAccidental(text[at])) {
            frequency = frequency * AccidentalFactor(text[at]);
            ++at;
        }
    }
    position = static_cast<uint32_t>(at);
    return frequency;
}

}  // namespace tolvimo

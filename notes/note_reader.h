// Reads note text ("C", "C#4", "Bb3", "D5b") into equal-tempered pitches,
// A4 = 440 Hz.
#pragma once

#include <cstdint>

namespace tolvimo {

// Returned by ParseNote when no note starts at the position.
constexpr double NO_NOTE = -1.0;

// Frequency in Hz of `letter` ('A' to 'G') in `octave`:
// pow(2, n x 0.08333333333333333) x 440 with n the semitones from A4.
double NoteFrequency(char letter, int octave);

// Reads the token starting at `position` in the NUL-terminated `text`:
// a letter A-G, an optional '#' or 'b', an optional octave digit 0-8 (default
// 4) and, only after a digit, one more optional '#' or 'b'. Returns its
// frequency (always positive and finite) and moves `position` past it, by 1 to
// 4 bytes. Returns NO_NOTE and leaves `position` unchanged when no note
// starts there, including at or past the end of the text. Never reads past
// the terminator.
double ParseNote(const char* text, uint32_t& position);

}  // namespace tolvimo

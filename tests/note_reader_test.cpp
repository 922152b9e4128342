#include "notes/note_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace tolvimo {
namespace {

double Parse(const std::string& text, uint32_t& position) {
    return ParseNote(text.c_str(), position);
}

struct PitchCase {
    const char* token;
    uint32_t consumed;
    double hertz;
    double tolerance;  // 0: exact
};

TEST(ParseNote, ReadsTokensAndTheirPitches) {
    const PitchCase cases[] = {
        {"A", 1, 440.0, 0},        {"A5", 2, 880.0, 0},         {"A0", 2, 27.5, 0},
        {"C", 1, 261.63, 0.005},   {"C0", 2, 16.35, 0.005},     {"B8", 2, 7902.13, 0.005},
        {"C#", 2, 277.18, 0.005},  {"Cb", 2, 246.94, 0.005},    {"Bb", 2, 466.16, 0.005},
        {"E#", 2, 349.23, 0.005},  {"Fb", 2, 329.63, 0.005},    {"C#4", 3, 277.18, 0.005},
        {"C4#", 3, 277.18, 0.005}, {"C#4b", 4, 261.63, 0.005},  {"C9", 1, 261.63, 0.005},
        {"C##", 2, 277.18, 0.005}, {"D8bb", 3, 4434.92, 0.005}, {"Gb0#", 4, 24.50, 0.005},
        {"A4 ", 2, 440.0, 0},
    };
    for (const auto& c : cases) {
        uint32_t position = 0;
        const double hertz = Parse(c.token, position);
        EXPECT_EQ(position, c.consumed) << c.token;
        if (c.tolerance == 0) {
            EXPECT_EQ(hertz, c.hertz) << c.token;
        } else {
            EXPECT_NEAR(hertz, c.hertz, c.tolerance) << c.token;
        }
    }
}

TEST(ParseNote, RefusesWhatStartsNoNoteWithoutMoving) {
    for (const char* text : {"c", " ", "H", "#", "b", "4", "9", "\x80", "\xC3\xA9", "@", ""}) {
        uint32_t position = 0;
        EXPECT_EQ(Parse(text, position), NO_NOTE) << text;
        EXPECT_EQ(position, 0u) << text;
    }
    uint32_t pastEnd = 7;
    EXPECT_EQ(Parse("C", pastEnd), NO_NOTE);
    EXPECT_EQ(pastEnd, 7u);
}

TEST(ParseNote, SharpAndPostfixSharpAreTheSameProduct) {
    uint32_t a = 0;
    uint32_t b = 0;
    EXPECT_EQ(Parse("C#4", a), Parse("C4#", b));
}

TEST(ParseNote, ReadsATextTokenByTokenToItsEnd) {
    const std::string text = "FACEEGBDF";
    uint32_t position = 0;
    int notes = 0;
    while (position < text.size() && Parse(text, position) > 0) ++notes;
    EXPECT_EQ(notes, 9);
    EXPECT_EQ(position, text.size());

    // "CDX": two notes, then a stop at X that leaves the position on it.
    position = 0;
    const std::string bad = "CDX";
    EXPECT_GT(Parse(bad, position), 0);
    EXPECT_GT(Parse(bad, position), 0);
    EXPECT_EQ(Parse(bad, position), NO_NOTE);
    EXPECT_EQ(position, 2u);
}

}  // namespace
}  // namespace tolvimo

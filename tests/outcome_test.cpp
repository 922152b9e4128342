// The internal entries' outcomes: each refusal kind with its status, facts,
// library line and explanation; renders into memory against the file; the
// voices suggested for a mistyped name.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "request/explanation.h"
#include "request/note_writer.h"
#include "request/render_entry.h"
#include "request/report.h"
#include "request/request_limits.h"
#include "utf16.h"

namespace tolvimo {
namespace {

using tolvimo_test::ToUtf16;
using tolvimo_test::Utf16;

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A growable buffer the test owns, as a binding's would be.
struct Reserved {
    std::vector<uint8_t> bytes;
    int calls = 0;
    bool refuse = false;
};

void* Reserve(void* context, size_t size) {
    auto& reserved = *static_cast<Reserved*>(context);
    ++reserved.calls;
    if (reserved.refuse) return nullptr;
    reserved.bytes.resize(size);
    return reserved.bytes.data();
}

Outcome InMemory(const char* instrument, const std::string& notes, int32_t rate, Reserved& reserved,
                 MemoryFormat format = MemoryFormat::WavFile) {
    const Utf16 name = ToUtf16(instrument);
    const Utf16 text = ToUtf16(notes);
    return RenderToMemory(name.c_str(), text.c_str(), rate, format, {Reserve, &reserved});
}

Outcome ToFile(const std::string& path) {
    const Utf16 name = ToUtf16("piano");
    const Utf16 text = ToUtf16("C");
    const Utf16 wide = ToUtf16(path);
    return RenderToFile(name.c_str(), text.c_str(), 8000, wide.c_str());
}

struct KindCase {
    RefusalKind kind;
    std::function<Outcome()> call;
    std::string line;    // the library's line, exactly
    std::string reason;  // OutputReason, or the note's hint for InvalidNote
};

TEST(Outcome, EachRefusalKindHasItsStatusFactsLineAndReason) {
    const auto missing = std::filesystem::temp_directory_path() / "tolvimo-missing-folder";
    const std::string missingFile = (missing / "o.wav").string();
    const Utf16 piano = ToUtf16("piano");
    const Utf16 notes = ToUtf16("C");
    Reserved unused;
    const KindCase cases[] = {
        {RefusalKind::None, [&] { return InMemory("piano", "C", 8000, unused); },
         "Created <memory> with 4000 samples at 8000 Hz\nDuration: 0.50 seconds\n"
         "Instrument: piano\n",
         ""},
        {RefusalKind::InstrumentMissing,
         [&] { return RenderToFile(nullptr, notes.c_str(), 8000, notes.c_str()); },
         "Error: Unknown instrument (null pointer)\n", ""},
        {RefusalKind::NotesMissing,
         [&] { return RenderToFile(piano.c_str(), nullptr, 8000, notes.c_str()); },
         "Error: Note text is missing (null pointer)\n", ""},
        {RefusalKind::OutputMissing,
         [&] { return RenderToFile(piano.c_str(), notes.c_str(), 8000, nullptr); },
         "Error: Output file path is missing (null pointer)\n", ""},
        {RefusalKind::SinkMissing,
         [&] { return RenderUtf8ToSink("piano", "C", 8000, MemoryFormat::WavFile, {}); },
         "Error: Output sink is missing (null pointer)\n", ""},
        {RefusalKind::UnknownFormat,
         [&] {
             uint64_t size = 0;
             return MeasureUtf8("piano", "C", 8000, static_cast<MemoryFormat>(7), &size);
         },
         "Error: Unknown output format\n", ""},
        {RefusalKind::UnknownInstrument, [&] { return InMemory("cello", "C", 8000, unused); },
         "Error: Unknown instrument 'cello'\n", ""},
        {RefusalKind::BadSampleRate, [&] { return InMemory("piano", "C", 7999, unused); },
         "Error: Sample rate must be between 8000 and 192000 Hz\n", ""},
        {RefusalKind::NoteTextTooLong,
         [&] { return InMemory("piano", std::string(NOTE_TEXT_CAPACITY, 'C'), 8000, unused); },
         "Error: Note text must be shorter than " + std::to_string(NOTE_TEXT_CAPACITY) + " bytes\n",
         ""},
        {RefusalKind::InvalidNote, [&] { return InMemory("piano", "C\u00e9", 8000, unused); },
         "Error: Invalid note at position 1: \u00e9\n",
         "a note is a letter A to G, then optionally # or b, an octave digit 0 to 8 and, after "
         "the digit, one more # or b"},
        // The failed call's own reason, /proc included.
        {RefusalKind::CannotOpen, [&] { return ToFile("/proc/nope.wav"); },
         "Error: Cannot open output file '/proc/nope.wav'\n", "No such file or directory"},
        {RefusalKind::CannotOpen, [&] { return ToFile(missingFile); },
         "Error: Cannot open output file '" + missingFile + "'\n",
         "folder '" + missing.string() + "': No such file or directory"},
        {RefusalKind::CannotWrite, [&] { return ToFile("/dev/full"); },
         "Error: Cannot write output file '/dev/full'\n", "No space left on device"},
        {RefusalKind::OutOfMemory,
         [&] {
             static Reserved refusing;
             refusing.refuse = true;
             return InMemory("piano", "C", 8000, refusing);
         },
         "Error: Not enough memory for the request\n", ""},
    };
    std::set<RefusalKind> covered;
    testing::internal::CaptureStdout();
    for (const auto& c : cases) {
        const Outcome outcome = c.call();
        const std::string kind = RowOf(c.kind).name;
        covered.insert(outcome.refusal);
        EXPECT_EQ(outcome.refusal, c.kind) << kind;
        EXPECT_EQ(outcome.status, RowOf(c.kind).status) << kind;
        EXPECT_EQ(LibraryLines(outcome), c.line) << kind;
        const std::string reason =
            c.kind == RefusalKind::InvalidNote ? NoteHint(outcome.badNote) : OutputReason(outcome);
        EXPECT_EQ(reason, c.reason) << kind;
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "the entries print nothing";
    EXPECT_EQ(covered.size(), std::size(REFUSAL_KINDS));
    for (size_t i = 0; i < std::size(REFUSAL_KINDS); ++i) {
        EXPECT_EQ(static_cast<size_t>(REFUSAL_KINDS[i].kind), i) << REFUSAL_KINDS[i].name;
    }
}

// The facts a front end words its own message from.
TEST(Outcome, CarriesTheFactsOfTheRefusal) {
    Reserved unused;
    const Outcome rate = InMemory("piano", "C", MAX_SAMPLE_RATE + 1, unused);
    EXPECT_EQ(rate.sampleRate, MAX_SAMPLE_RATE + 1);
    const Outcome name = InMemory("Piano", "C", 8000, unused);
    EXPECT_STREQ(name.instrument.narrow.text.get(), "Piano");
    const Outcome longText =
        InMemory("piano", std::string(NOTE_TEXT_CAPACITY + 3, 'C'), 8000, unused);
    EXPECT_EQ(longText.noteTextBytes, NOTE_TEXT_CAPACITY + 3);
    EXPECT_EQ(unused.calls, 0);
    // A path too long for its buffer is measured and quoted whole.
    const std::string longPath(OUTPUT_PATH_CAPACITY + 100, 'p');
    const Utf16 widePath = ToUtf16(longPath);  // the line quotes it: it must outlive the outcome
    const Utf16 piano = ToUtf16("piano");
    const Utf16 notes = ToUtf16("C");
    const Outcome path = RenderToFile(piano.c_str(), notes.c_str(), 8000, widePath.c_str());
    EXPECT_TRUE(path.path.cut);
    EXPECT_EQ(path.path.bytes, longPath.size());
    EXPECT_EQ(LibraryLines(path), "Error: Cannot open output file '" + longPath + "'\n");
    EXPECT_EQ(OutputReason(path), "the path is " + std::to_string(longPath.size()) +
                                      " bytes long; it must be shorter than " +
                                      std::to_string(OUTPUT_PATH_CAPACITY));
}

// Bad notes: where, which character, and the hint every front end gives.
TEST(Outcome, BadNotesAreNamedWithTheirHint) {
    const std::string between =
        "write the notes with nothing between them, as in 'C4D4E4'; note text is notes only: "
        "every note lasts 0.5 s, one after another, with no rests, lengths or chords";
    const struct {
        std::string notes;
        size_t position;
        std::string bytes;
        char32_t character;
        char32_t before;
        std::string named;
        std::string hint;
    } cases[] = {
        {"cde", 0, "c", U'c', 0, "'c'", "note letters are upper case: write 'C'"},
        {"C4 D4", 2, " ", U' ', U'4', "' ' (space)", between},
        {"C\u00e9", 1, "\u00e9", U'\u00e9', U'C', "'\u00e9' (U+00E9)",
         "a note is a letter A to G, then optionally # or b, an octave digit 0 to 8 and, after "
         "the digit, one more # or b"},
        {"C4,D4", 2, ",", U',', U'4', "','", between},
        {"CX", 1, "X", U'X', U'C', "'X'",
         "a note is a letter A to G, then optionally # or b, an octave digit 0 to 8 and, after "
         "the digit, one more # or b"},
        {"C4#b", 3, "b", U'b', U'#', "'b'",
         "a note takes one # or b before its octave digit and one more after it"},
        {"C44", 2, "4", U'4', U'4', "'4'", "a note has one octave digit"},
        {"C-1", 1, "-", U'-', U'C', "'-'",
         "octave digits run from 0 to 8, with no minus sign: the lowest octave is 0, as in 'C0'"},
        {"C-D", 1, "-", U'-', U'C', "'-'", between},
        {"C\u266f4", 1, "\u266f", U'\u266f', U'C', "'\u266f' (U+266F)",
         "write a sharp as #, as in 'C#4'"},
        {"B\u266d3", 1, "\u266d", U'\u266d', U'B', "'\u266d' (U+266D)",
         "write a flat as b, as in 'Bb3'"},
    };
    Reserved unused;
    for (const auto& c : cases) {
        const Outcome outcome = InMemory("piano", c.notes, 8000, unused);
        const BadNote& note = outcome.badNote;
        ASSERT_EQ(outcome.refusal, RefusalKind::InvalidNote) << c.notes;
        EXPECT_EQ(note.position, c.position) << c.notes;
        EXPECT_EQ(std::string(note.bytes, note.byteCount), c.bytes) << c.notes;
        EXPECT_EQ(note.character, c.character) << c.notes;
        EXPECT_EQ(note.before, c.before) << c.notes;
        EXPECT_EQ(NameCharacter(note.character), c.named) << c.notes;
        EXPECT_EQ(NoteHint(note), c.hint) << c.notes;
    }
    // An unpaired surrogate is the caller's own character, read as U+FFFD.
    const Utf16 piano = ToUtf16("piano");
    const Utf16 notes{u'C', static_cast<TolvimoUtf16>(0xD800), 0};
    const Outcome lone = RenderToMemory(piano.c_str(), notes.c_str(), 8000, MemoryFormat::WavFile,
                                        {Reserve, &unused});
    EXPECT_EQ(lone.badNote.character, 0xD800u);
    EXPECT_EQ(std::string(lone.badNote.bytes, lone.badNote.byteCount), "\xEF\xBF\xBD");
    EXPECT_EQ(NameCharacter(0xD800), "U+D800 (an unpaired surrogate, read as U+FFFD)");
}

// Suggestions a person would accept, and none for a name that only
// shares letters with a voice.
TEST(Outcome, SuggestsOnlyCloseVoiceNames) {
    const struct {
        const char* typed;
        std::vector<std::string_view> suggested;
    } cases[] = {
        {"Piano", {"piano", "epiano"}},
        {"pianp", {"piano"}},
        {"GUITAR", {"guitar"}},
        {"pi\u00e4no", {"piano"}},
        {"paino", {"piano"}},
        {"glock", {"glockenspiel"}},
        {"harpsicord", {"harpsichord"}},
        {"cello", {}},
        {"xylophone", {}},
        {"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(CloseInstruments(c.typed), c.suggested) << c.typed;
}

// Memory gets exactly the file's bytes, reserved once at their final size;
// the Samples format is the same samples without the header.
TEST(Outcome, RendersIntoMemoryTheBytesOfTheFile) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("tolvimo-outcome-" + std::to_string(::getpid()) + ".wav");
    const Utf16 name = ToUtf16("violin");
    const Utf16 notes = ToUtf16("C#4Bb3C#4");
    const Utf16 wide = ToUtf16(path.string());
    ASSERT_EQ(RenderToFile(name.c_str(), notes.c_str(), 11025, wide.c_str()).status,
              TOLVIMO_STATUS_CREATED);
    const std::vector<uint8_t> file = ReadBytes(path);
    std::filesystem::remove(path);

    Reserved wav;
    const Outcome outcome = InMemory("violin", "C#4Bb3C#4", 11025, wav);
    EXPECT_EQ(outcome.status, TOLVIMO_STATUS_CREATED);
    EXPECT_EQ(wav.calls, 1);
    EXPECT_EQ(wav.bytes, file);
    Reserved samples;
    InMemory("violin", "C#4Bb3C#4", 11025, samples, MemoryFormat::Samples);
    ASSERT_EQ(samples.bytes.size() + 44, file.size());
    for (size_t i = 0; i + 1 < samples.bytes.size(); i += 2) {
        int16_t value = 0;
        std::memcpy(&value, samples.bytes.data() + i, 2);
        ASSERT_EQ(static_cast<uint16_t>(value), file[44 + i] | (file[45 + i] << 8)) << i;
    }
}

}  // namespace
}  // namespace tolvimo

// The Tolvimo functions as a host calls them through the shared library:
// the sink's bytes against the file and the program's, each refusal's
// record, and TolvimoDescribe against what the program says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "TolvimoWAVInstruments.h"
#include "cli_run.h"
#include "test_support.h"

namespace tolvimo_test {
namespace {

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Collects the bytes, counting the blocks; stops after `stopAfter` blocks.
struct Collected {
    std::vector<uint8_t> bytes;
    size_t blocks = 0;
    size_t largestBlock = 0;
    size_t stopAfter = SIZE_MAX;
};

int Collect(void* context, const void* bytes, size_t size) {
    auto& into = *static_cast<Collected*>(context);
    if (into.blocks == into.stopAfter) return 1;
    ++into.blocks;
    into.largestBlock = std::max(into.largestBlock, size);
    const auto* at = static_cast<const uint8_t*>(bytes);
    into.bytes.insert(into.bytes.end(), at, at + size);
    return 0;
}

std::string Described(const TolvimoOutcome& outcome) {
    const size_t length = TolvimoDescribe(&outcome, nullptr, 0);
    std::string text(length, '\0');
    EXPECT_EQ(TolvimoDescribe(&outcome, text.data(), length + 1), length);
    return text;
}

TEST(Api, TheSinkGetsTheFileAndTheProgramsBytesInNoteSizedBlocks) {
    TempDir dir;
    const std::string viaLibrary = dir.Path("library.wav"), viaProgram = dir.Path("program.wav");
    const char* notes = "C4E4G4C5G4E4C4Bb3";
    TolvimoOutcome outcome;
    ASSERT_EQ(TolvimoRenderFile("piano", notes, 44100, viaLibrary.c_str(), &outcome), 999);
    ASSERT_EQ(RunCli(std::string("piano ") + notes + " 44100 " + viaProgram).exitStatus, 0);

    Collected wav, samples;
    // Quiet: nothing on either stream, whatever the outcome.
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ASSERT_EQ(
        TolvimoRenderToSink("piano", notes, 44100, TOLVIMO_FORMAT_WAV, Collect, &wav, &outcome),
        999);
    TolvimoOutcome refused;
    TolvimoRenderToSink("piano", "Cx", 44100, TOLVIMO_FORMAT_WAV, Collect, &samples, &refused);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(outcome.sampleCount, 8 * 22050);
    EXPECT_EQ(wav.bytes, ReadBytes(viaLibrary));
    EXPECT_EQ(wav.bytes, ReadBytes(viaProgram));
    // The header, then one block a note: the render holds no more than a note.
    EXPECT_EQ(wav.blocks, 9u);
    EXPECT_EQ(wav.largestBlock, 2u * 22050);

    ASSERT_EQ(TolvimoRenderToSink("piano", notes, 44100, TOLVIMO_FORMAT_SAMPLES, Collect, &samples,
                                  nullptr),
              999);
    std::vector<int16_t> expected(static_cast<size_t>(outcome.sampleCount));
    for (size_t i = 0; i < expected.size(); ++i) {
        expected[i] = static_cast<int16_t>(wav.bytes[44 + 2 * i] | (wav.bytes[45 + 2 * i] << 8));
    }
    ASSERT_EQ(samples.bytes.size(), 2 * expected.size());
    EXPECT_EQ(std::memcmp(samples.bytes.data(), expected.data(), samples.bytes.size()), 0);

    for (const int32_t format : {TOLVIMO_FORMAT_WAV, TOLVIMO_FORMAT_SAMPLES}) {
        uint64_t size = 0;
        EXPECT_EQ(TolvimoMeasure("piano", notes, 44100, format, &size, nullptr), 999);
        EXPECT_EQ(size, (format == TOLVIMO_FORMAT_WAV ? wav : samples).bytes.size());
    }
}

TEST(Api, EachRefusalFillsTheRecordAndNeverCallsTheSink) {
    struct Case {
        const char* name;
        const char* instrument;
        const char* notes;
        int32_t rate;
        int32_t format;
        bool sink;
        int32_t status, refusal;
        int64_t position;
        uint32_t character;
    };
    const Case cases[] = {
        {"none", "piano", "C", 8000, TOLVIMO_FORMAT_WAV, true, 999, TOLVIMO_REFUSAL_NONE, -1, 0},
        {"null instrument", nullptr, "C", 8000, TOLVIMO_FORMAT_WAV, true, 222,
         TOLVIMO_REFUSAL_INSTRUMENT_MISSING, -1, 0},
        {"null notes", "piano", nullptr, 8000, TOLVIMO_FORMAT_WAV, true, 1,
         TOLVIMO_REFUSAL_NOTES_MISSING, -1, 0},
        {"null sink", "piano", "C", 8000, TOLVIMO_FORMAT_WAV, false, 1,
         TOLVIMO_REFUSAL_SINK_MISSING, -1, 0},
        {"format", "piano", "C", 8000, 2, true, 1, TOLVIMO_REFUSAL_UNKNOWN_FORMAT, -1, 0},
        {"name", "Piano", "C", 8000, TOLVIMO_FORMAT_WAV, true, 222,
         TOLVIMO_REFUSAL_UNKNOWN_INSTRUMENT, -1, 0},
        {"rate", "piano", "C", 7999, TOLVIMO_FORMAT_WAV, true, 333, TOLVIMO_REFUSAL_BAD_SAMPLE_RATE,
         -1, 0},
        {"é", "piano", "CD\xC3\xA9", 8000, TOLVIMO_FORMAT_WAV, true, 1,
         TOLVIMO_REFUSAL_INVALID_NOTE, 2, 0xE9},
        {"not UTF-8", "piano", "C\xFF", 8000, TOLVIMO_FORMAT_WAV, true, 1,
         TOLVIMO_REFUSAL_INVALID_NOTE, 1, 0xFFFD},
        {"emoji", "piano", "C#4\xF0\x9F\x8E\xB5", 8000, TOLVIMO_FORMAT_WAV, true, 1,
         TOLVIMO_REFUSAL_INVALID_NOTE, 3, 0x1F3B5},
    };
    for (const auto& c : cases) {
        Collected collected;
        TolvimoOutcome outcome;
        std::memset(&outcome, 0xAB, sizeof outcome);
        const int32_t status =
            TolvimoRenderToSink(c.instrument, c.notes, c.rate, c.format, c.sink ? Collect : nullptr,
                                &collected, &outcome);
        EXPECT_EQ(status, c.status) << c.name;
        EXPECT_EQ(outcome.version, TOLVIMO_OUTCOME_VERSION) << c.name;
        EXPECT_EQ(outcome.status, c.status) << c.name;
        EXPECT_EQ(outcome.refusal, c.refusal) << c.name;
        EXPECT_EQ(outcome.position, c.position) << c.name;
        EXPECT_EQ(outcome.character, c.character) << c.name;
        EXPECT_EQ(outcome.reserved[7], 0u) << c.name;
        EXPECT_EQ(collected.blocks, c.status == 999 ? 2u : 0u) << c.name;
        // Without a record the status is the same.
        Collected again;
        EXPECT_EQ(TolvimoRenderToSink(c.instrument, c.notes, c.rate, c.format,
                                      c.sink ? Collect : nullptr, &again, nullptr),
                  c.status)
            << c.name;
    }
    uint64_t size = 7;
    TolvimoOutcome outcome;
    EXPECT_EQ(TolvimoMeasure("piano", "C", 8000, TOLVIMO_FORMAT_WAV, nullptr, &outcome), 1);
    EXPECT_EQ(outcome.refusal, TOLVIMO_REFUSAL_SINK_MISSING);
    EXPECT_EQ(TolvimoMeasure("piano", "Cx", 8000, TOLVIMO_FORMAT_WAV, &size, &outcome), 1);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(TolvimoRenderFile("piano", "C", 8000, nullptr, &outcome), 1);
    EXPECT_EQ(outcome.refusal, TOLVIMO_REFUSAL_OUTPUT_MISSING);
}

TEST(Api, ASinkThatStopsEndsTheRenderAsAFailedWriteAndLeavesNoFile) {
    TempDir dir;
    Collected collected;
    collected.stopAfter = 3;
    TolvimoOutcome outcome;
    EXPECT_EQ(TolvimoRenderToSink("organ", "CDEFGAB", 8000, TOLVIMO_FORMAT_WAV, Collect, &collected,
                                  &outcome),
              1);
    EXPECT_EQ(outcome.refusal, TOLVIMO_REFUSAL_CANNOT_WRITE);
    EXPECT_EQ(collected.blocks, 3u);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path("")));
    EXPECT_EQ(Described(outcome), "Error: Cannot write output file '<memory>'");
}

TEST(Api, TheNamesAreTheProgramsList) {
    const CliRun list = RunCli("--list");
    std::string names;
    for (int32_t i = 0; i < TOLVIMO_VOICE_COUNT; ++i)
        names += std::string(TolvimoVoiceName(i)) + "\n";
    EXPECT_EQ(names, list.output);
    EXPECT_EQ(TolvimoVoiceName(TOLVIMO_VOICE_COUNT), nullptr);
    EXPECT_EQ(TolvimoVoiceName(-1), nullptr);
}

// Every kind the program can meet, as the program says it and as
// TolvimoDescribe gives it; the kinds only a C caller meets get their line.
TEST(Api, DescribeSaysWhatTheProgramSaysForEveryKind) {
    TempDir dir;
    const std::string written = dir.Path("out.wav"), folder = dir.Path("none/out.wav");
    const std::string longNotes(TOLVIMO_NOTE_TEXT_CAPACITY, 'C');
    struct Case {
        int32_t refusal;
        const char* instrument;
        std::string notes;
        int32_t rate;
        std::string path;      // empty: a null path
        std::string expected;  // for the C-only kinds; else the program's words
    };
    const Case cases[] = {
        {TOLVIMO_REFUSAL_NONE, "piano", "CE", 8000, written, ""},
        {TOLVIMO_REFUSAL_INSTRUMENT_MISSING, nullptr, "C", 8000, written,
         "Error: Unknown instrument (null pointer)"},
        {TOLVIMO_REFUSAL_OUTPUT_MISSING, "piano", "C", 8000, "",
         "Error: Output file path is missing (null pointer)"},
        {TOLVIMO_REFUSAL_UNKNOWN_INSTRUMENT, "glock", "C", 8000, written, ""},
        {TOLVIMO_REFUSAL_UNKNOWN_INSTRUMENT, "xylophone", "C", 8000, written, ""},
        {TOLVIMO_REFUSAL_BAD_SAMPLE_RATE, "piano", "C", 7999, written, ""},
        {TOLVIMO_REFUSAL_NOTE_TEXT_TOO_LONG, "piano", longNotes, 8000, written, ""},
        {TOLVIMO_REFUSAL_INVALID_NOTE, "piano", "C-1", 8000, written, ""},
        {TOLVIMO_REFUSAL_INVALID_NOTE, "piano", "Cc", 8000, written, ""},
        {TOLVIMO_REFUSAL_CANNOT_OPEN, "piano", "C", 8000, folder, ""},
        {TOLVIMO_REFUSAL_CANNOT_WRITE, "piano", "C", 8000, "/dev/full", ""},
    };
    std::set<int32_t> covered = {TOLVIMO_REFUSAL_NOTES_MISSING, TOLVIMO_REFUSAL_SINK_MISSING,
                                 TOLVIMO_REFUSAL_UNKNOWN_FORMAT, TOLVIMO_REFUSAL_OUT_OF_MEMORY};
    for (const auto& c : cases) {
        TolvimoOutcome outcome;
        TolvimoRenderFile(c.instrument, c.notes.c_str(), c.rate,
                          c.path.empty() ? nullptr : c.path.c_str(), &outcome);
        ASSERT_EQ(outcome.refusal, c.refusal) << c.notes;
        covered.insert(outcome.refusal);
        std::string expected = c.expected;
        if (expected.empty()) {
            const CliRun run = RunCli(std::string("-- ") + c.instrument + " '" + c.notes + "' " +
                                      std::to_string(c.rate) + " " + c.path);
            expected = c.refusal == TOLVIMO_REFUSAL_NONE ? run.output : run.errors;
            for (size_t at = 0; (at = expected.find("wavinstruments: ", at)) != std::string::npos;)
                expected.erase(at, std::strlen("wavinstruments: "));
            if (!expected.empty() && expected.back() == '\n') expected.pop_back();
        }
        EXPECT_EQ(Described(outcome), expected) << c.notes;
        // snprintf's contract: cut short, still terminated, the whole length returned.
        char small[8];
        EXPECT_EQ(TolvimoDescribe(&outcome, small, sizeof small), expected.size());
        EXPECT_EQ(std::string(small), expected.substr(0, 7));
    }
    EXPECT_EQ(covered.size(), static_cast<size_t>(TOLVIMO_REFUSAL_OUT_OF_MEMORY) + 1);
    EXPECT_EQ(TolvimoDescribe(nullptr, nullptr, 0), 0u);
}

}  // namespace
}  // namespace tolvimo_test

// The command-line host by its exit statuses and output.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "synthesis/preset_table.h"
#include "test_support.h"

namespace tolvimo_test {
namespace {

struct CliRun {
    int exitStatus;
    std::string output;  // standard output and standard error together
};

// Runs a shell command; the output is its standard output.
CliRun RunShell(const std::string& command) {
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    for (int c = std::fgetc(pipe); c != EOF; c = std::fgetc(pipe))
        output.push_back(static_cast<char>(c));
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// `redirections` decide which streams the output holds; by default both.
CliRun RunCli(const std::string& arguments, const std::string& redirections = "2>&1") {
    return RunShell(std::string(WAVINSTRUMENTS_PATH) + " " + arguments + " " + redirections);
}

TEST(Cli, MapsEveryOutcomeToItsExitStatus) {
    TempDir dir;
    const std::string out = dir.Path("o.wav");
    const struct {
        std::string arguments;
        int exitStatus;
        std::string outputStart;
    } cases[] = {
        {"piano CDEFG 44100 " + out, 0, "Created " + out + " with 110250 samples at 44100 Hz\n"},
        {"'\xC3\xA9piano' C 8000 " + out, 3, "Error: Unknown instrument '\xC3\xA9piano'\n"},
        {"'\xFFpiano' C 8000 " + out, 3, "Error: Unknown instrument '\xEF\xBF\xBDpiano'\n"},
        {"piano C 7999 " + out, 4, "Error: Sample rate must be"},
        {"piano C 99999999999 " + out, 4, "Error: Sample rate must be"},
        {"piano CDX 8000 " + out, 1, "Error: Invalid note at position 2: X\n"},
        {"piano C 8000 /dev/full", 1, "Error: Cannot write output file '/dev/full'\n"},
        {"piano C 8k " + out, 2, "usage: wavinstruments"},
        {"piano C ' 8000' " + out, 2, "usage: wavinstruments"},
        {"piano C 8000", 2, "usage: wavinstruments"},
        {"piano C 8000 " + dir.Path("\xFF.wav"), 2, "wavinstruments: OUTPUT is not valid UTF-8"},
        {"", 2, "usage: wavinstruments"},
        {"--version", 0, "1.0.0.1\n"},
        {"--help", 0, "usage: wavinstruments"},
    };
    for (const auto& c : cases) {
        const CliRun run = RunCli(c.arguments);
        EXPECT_EQ(run.exitStatus, c.exitStatus) << c.arguments;
        EXPECT_EQ(run.output.rfind(c.outputStart, 0), 0u) << c.arguments << "\n" << run.output;
    }
}

// Standard output that cannot be written fails the run, whatever the
// library did; the message goes to standard error.
TEST(Cli, FailsWhenStandardOutputCannotBeWritten) {
    TempDir dir;
    const std::string failed = "wavinstruments: cannot write to standard output\n";
    const struct {
        std::string arguments;
        int exitStatus;
    } cases[] = {
        {"--list", 6},
        {"--version", 6},
        {"piano C 8000 " + dir.Path("o.wav"), 6},
        {"piano C 8000 -", 6},
        {"piano C 7999 " + dir.Path("o.wav"), 4},  // the refusal's own status stays
    };
    for (const auto& c : cases) {
        const CliRun run = RunCli(c.arguments, "2>&1 >/dev/full");
        EXPECT_EQ(run.exitStatus, c.exitStatus) << c.arguments;
        EXPECT_NE(run.output.find(failed), std::string::npos) << c.arguments << "\n" << run.output;
    }
}

// OUTPUT "-" puts exactly the file's bytes on standard output, through a
// pipe, and the report on standard error.
TEST(Cli, StreamsTheWavToStandardOutput) {
    TempDir dir;
    const std::string file = dir.Path("file.wav");
    ASSERT_EQ(RunCli("violin C4Bb3 11025 " + file).exitStatus, 0);
    const std::vector<uint8_t> expected = ReadBytes(file);
    const CliRun streamed = RunCli("violin C4Bb3 11025 -", "2>/dev/null | cat");
    EXPECT_EQ(std::vector<uint8_t>(streamed.output.begin(), streamed.output.end()), expected);
    EXPECT_EQ(RunCli("violin C4Bb3 11025 -", "2>&1 >/dev/null").output,
              "Created - with 11024 samples at 11025 Hz\nDuration: 1.00 seconds\n"
              "Instrument: violin\n");
    const CliRun refused = RunCli("violin C4X 11025 -", "2>/dev/null");
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_TRUE(refused.output.empty());
}

// Under a file size limit the host is not killed: the write fails, it exits
// 1 (6 for standard output), and the file that stood at the path stays.
TEST(Cli, ExitsCleanlyPastAFileSizeLimit) {
    TempDir dir;
    const std::string old = dir.Path("old.wav");
    const struct {
        std::string arguments;
        int exitStatus;
        std::string output;
    } cases[] = {
        {"piano CDEFG 44100 " + old, 1, "Error: Cannot write output file '" + old + "'\n"},
        {"piano CDEFG 44100 " + dir.Path("new.wav"), 1,
         "Error: Cannot write output file '" + dir.Path("new.wav") + "'\n"},
        {"piano CDEFG 44100 - >" + dir.Path("stdout.wav"), 6,
         "Error: Cannot write output file '-'\nwavinstruments: cannot write to standard output\n"},
    };
    for (const auto& c : cases) {
        WriteBytes(old, "keep me\n");
        const CliRun run = RunShell("(ulimit -f 8; exec " + std::string(WAVINSTRUMENTS_PATH) + " " +
                                    c.arguments + ") 2>&1");
        EXPECT_EQ(run.exitStatus, c.exitStatus) << c.arguments;
        EXPECT_EQ(run.output, c.output) << c.arguments;
        EXPECT_EQ(ReadBytes(old), std::vector<uint8_t>({'k', 'e', 'e', 'p', ' ', 'm', 'e', '\n'}));
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Path("new.wav")));
}

// OUTPUT "-" goes straight to standard output: no temporary file, so no
// TMPDIR matters and a reader that stops early leaves nothing behind.
TEST(Cli, StreamsWithoutATemporaryFile) {
    TempDir dir;
    const std::string file = dir.Path("file.wav");
    ASSERT_EQ(RunCli("bell CDEFGABCDEFGAB 22050 " + file).exitStatus, 0);
    const std::vector<uint8_t> expected = ReadBytes(file);
    std::filesystem::create_directory(dir.Path("tmp"));
    const std::string tmpdirs[] = {dir.Path("tmp"), dir.Path("missing"), "'\xFF\xFE'",
                                   "/" + std::string(173, 'd')};
    for (const auto& tmpdir : tmpdirs) {
        const CliRun run = RunShell("TMPDIR=" + tmpdir + " " + WAVINSTRUMENTS_PATH +
                                    " bell CDEFGABCDEFGAB 22050 - 2>/dev/null");
        EXPECT_EQ(std::vector<uint8_t>(run.output.begin(), run.output.end()), expected) << tmpdir;
        EXPECT_EQ(run.exitStatus, 0) << tmpdir;
    }
    const CliRun cut = RunShell("TMPDIR=" + dir.Path("tmp") + " " + WAVINSTRUMENTS_PATH +
                                " bell CDEFGABCDEFGAB 192000 - | head -c 10");
    EXPECT_EQ(cut.output.size(), 10u);
    EXPECT_EQ(cut.output.rfind("RIFF", 0), 0u);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path("tmp")));
}

// A host killed while it writes leaves the old file whole, or the new one
// complete, and nothing beside it.
TEST(Cli, KilledMidWriteLeavesTheOldFileOrTheNewOne) {
    TempDir dir;
    const std::string old = dir.Path("old.wav");
    std::string notes;
    for (int i = 0; i < 333; ++i) notes += std::string(1, "CDEFGAB"[i % 7]) + "012345678"[i % 9];
    for (const int delayMs : {0, 30, 120}) {
        WriteBytes(old, "keep me\n");
        const CliRun run =
            RunShell(std::string(WAVINSTRUMENTS_PATH) + " violin " + notes + " 192000 " + old +
                     " >/dev/null & sleep " + std::to_string(delayMs / 1000.0) +
                     "; kill -9 $! 2>/dev/null; wait");
        const auto size = std::filesystem::file_size(old);
        EXPECT_TRUE(size == 8 || size == 44u + 2u * 333u * 96000u) << size;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")),
                                std::filesystem::directory_iterator()),
                  1)
            << delayMs;
    }
}

// Every name --list prints is one the library accepts, in table order.
TEST(Cli, ListsTheInstrumentsInTableOrder) {
    std::string expected;
    for (const auto& preset : tolvimo::PRESETS) expected += std::string(preset.name) + "\n";
    EXPECT_EQ(RunCli("--list").output, expected);
    TempDir dir;
    for (const auto& preset : tolvimo::PRESETS) {
        EXPECT_EQ(RunCli(std::string(preset.name) + " C 8000 " + dir.Path("o.wav")).exitStatus, 0);
    }
}

}  // namespace
}  // namespace tolvimo_test

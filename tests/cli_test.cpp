// The command-line host by its exit statuses and output.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_run.h"
#include "synthesis/preset_table.h"
#include "test_support.h"

namespace tolvimo_test {
namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// Standard output that cannot be written fails the run, whatever the
// library did; the one message goes to standard error.
TEST(Cli, FailsWhenStandardOutputCannotBeWritten) {
    TempDir dir;
    const struct {
        std::string arguments;
        int exitStatus;
        std::string errors;
    } cases[] = {
        {"--list", 6, "wavinstruments: cannot write to standard output: No space left on device\n"},
        {"--version", 6,
         "wavinstruments: cannot write to standard output: No space left on device\n"},
        {"piano C 8000 " + dir.Path("o.wav"), 6,
         "wavinstruments: cannot write to standard output: No space left on device\n"},
        {"piano C 8000 -", 6,
         "wavinstruments: Error: Cannot write output file '-' (standard output: No space left on "
         "device)\n"},
        {"piano C 7999 " + dir.Path("o.wav"), 4,  // the refusal's own status stays
         "wavinstruments: Error: Sample rate must be between 8000 and 192000 Hz (SAMPLE_RATE is "
         "7999)\n"},
    };
    for (const auto& c : cases) {
        const CliRun run = RunCli(c.arguments, ">/dev/full");
        EXPECT_EQ(run.exitStatus, c.exitStatus) << c.arguments;
        EXPECT_EQ(run.errors, c.errors) << c.arguments;
    }
}

// A reader that stops early ends the program the one documented way: exit
// 6 and one message, never death by SIGPIPE (141 from a shell).
TEST(Cli, AClosedPipeExitsSixWithOneMessage) {
    TempDir dir;
    const struct {
        std::string arguments;
        std::string errors;
    } cases[] = {
        {"bell CDEFGABCDEFGAB 192000 -",
         "wavinstruments: Error: Cannot write output file '-' (standard output: Broken pipe)\n"},
        {"bell C 8000 " + dir.Path("o.wav"),
         "wavinstruments: cannot write to standard output: Broken pipe\n"},
        {"--list", "wavinstruments: cannot write to standard output: Broken pipe\n"},
    };
    for (const auto& c : cases) {
        const CliRun run = RunCliIntoClosedPipe(c.arguments);
        EXPECT_EQ(run.exitStatus, 6) << c.arguments;
        EXPECT_EQ(run.errors, c.errors) << c.arguments;
    }
    // The file itself was written: only its report was lost.
    EXPECT_EQ(std::filesystem::file_size(dir.Path("o.wav")), 44u + 2u * 4000u);
}

// Any name for the file standard output already is works like "-": the
// file gets exactly the WAV bytes and the report goes to standard error,
// where a named write would have put the report into the file.
TEST(Cli, AnOutputThatIsStandardOutputGetsOnlyTheWavBytes) {
    TempDir dir;
    const std::string reference = dir.Path("reference.wav");
    ASSERT_EQ(RunCli("violin C4Bb3 11025 " + reference).exitStatus, 0);
    const std::vector<uint8_t> expected = ReadBytes(reference);
    const std::string file = dir.Path("stdout.wav");
    for (const std::string& name :
         {std::string("-"), std::string("/dev/stdout"), std::string("/proc/self/fd/1"),
          std::string("/dev/fd/1"), file, dir.Path(".") + "/stdout.wav"}) {
        const CliRun run = RunCli("violin C4Bb3 11025 " + name, ">" + file);
        EXPECT_EQ(run.exitStatus, 0) << name;
        EXPECT_EQ(ReadBytes(file), expected) << name;
        EXPECT_EQ(run.errors, "Created " + name +
                                  " with 11024 samples at 11025 Hz\nDuration: 1.00 seconds\n"
                                  "Instrument: violin\n")
            << name;
    }
    const CliRun piped = RunCli("violin C4Bb3 11025 -", "| cat");
    EXPECT_EQ(Bytes(piped.output), expected);
    const CliRun refused = RunCli("violin C4X 11025 -");
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_TRUE(refused.output.empty());
}

// WAV bytes on a terminal are only noise: "-" there is a usage error of
// one line that says what to do instead.
TEST(Cli, RefusesToWriteTheWavToATerminal) {
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal < 0) GTEST_SKIP() << "no pseudo-terminal here";
    ASSERT_EQ(grantpt(terminal), 0);
    ASSERT_EQ(unlockpt(terminal), 0);
    const std::string device = ptsname(terminal);
    for (const std::string name : {"-", "/dev/stdout", device.c_str()}) {
        const CliRun run = RunCli("piano C 8000 " + name, ">" + device);
        EXPECT_EQ(run.exitStatus, 2) << name;
        EXPECT_EQ(run.errors, "wavinstruments: OUTPUT '" + name +
                                  "' is standard output, a terminal; redirect it to a file "
                                  "(> song.wav) or pipe it to a player\n")
            << name;
    }
    close(terminal);
}

// Under a file size limit the host is not killed: the write fails, it exits
// 1 (6 for standard output), and the file that stood at the path stays.
TEST(Cli, ExitsCleanlyPastAFileSizeLimit) {
    TempDir dir;
    const std::string old = dir.Path("old.wav");
    // The limit's bytes depend on the shell's block size.
    const std::string limit = " (File too large: the file size limit (ulimit -f) is ";
    const struct {
        std::string arguments;
        int exitStatus;
        std::string errors;
    } cases[] = {
        {"piano CDEFG 44100 " + old, 1,
         "wavinstruments: Error: Cannot write output file '" + old + "'" + limit},
        {"piano CDEFG 44100 " + dir.Path("new.wav"), 1,
         "wavinstruments: Error: Cannot write output file '" + dir.Path("new.wav") + "'" + limit},
        {"piano CDEFG 44100 - >" + dir.Path("stdout.wav"), 6,
         "wavinstruments: Error: Cannot write output file '-' (standard output: File too "
         "large)\n"},
    };
    for (const auto& c : cases) {
        WriteBytes(old, "keep me\n");
        const CliRun run = RunShell("(ulimit -f 8; exec " + std::string(WAVINSTRUMENTS_PATH) + " " +
                                    c.arguments + ") 2>&1");
        EXPECT_EQ(run.exitStatus, c.exitStatus) << c.arguments;
        EXPECT_EQ(run.output.substr(0, c.errors.size()), c.errors) << c.arguments;
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
        EXPECT_EQ(ReadBytes(old), Bytes("keep me\n"));
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
        EXPECT_EQ(Bytes(run.output), expected) << tmpdir;
        EXPECT_EQ(run.exitStatus, 0) << tmpdir;
    }
    const CliRun cut = RunShell("TMPDIR=" + dir.Path("tmp") + " " + WAVINSTRUMENTS_PATH +
                                " bell CDEFGABCDEFGAB 192000 - 2>/dev/null | head -c 10");
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

// The exported function as a host calls it: UTF-16 arguments, standard
// output captured, files read back byte for byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "request/request_limits.h"
#include "test_support.h"

namespace tolvimo_test {
namespace {

struct Created {
    const char* instrument;
    const char* notes;
    int32_t rate;
    int32_t samples;
    const char* duration;
};

TEST(WAVInstruments, WritesEveryNoteAndReportsIt) {
    const Created cases[] = {
        {"piano", "CDEFG", 44100, 110250, "2.50"},
        {"synth", "FACEEGBDF", 44100, 198450, "4.50"},
        {"violin", "C4D4E4F4G4", 44100, 110250, "2.50"},
        {"drum", "CCCCGGGG", 44100, 176400, "4.00"},
        {"piano", "", 44100, 0, "0.00"},
        {"epiano", "CDEFG", 8001, 20000, "2.50"},
        {"bell", "A", 8000, 4000, "0.50"},
        {"theremin", "B8", 192000, 96000, "0.50"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.Path("out.wav");
        const CallResult result = CallCaptured(c.instrument, c.notes, c.rate, path);
        EXPECT_EQ(result.status, 999) << c.notes;
        EXPECT_EQ(result.output, "Created " + path + " with " + std::to_string(c.samples) +
                                     " samples at " + std::to_string(c.rate) + " Hz\nDuration: " +
                                     c.duration + " seconds\nInstrument: " + c.instrument + "\n");
        EXPECT_EQ(ReadBytes(path).size(), 44u + 2u * static_cast<size_t>(c.samples)) << c.notes;
    }
}

struct Refused {
    const char* instrument;
    std::string notes;
    int32_t rate;
    const char* path;  // relative to the temporary directory
    int32_t status;
    std::string message;
};

// Each argument one byte longer than its limit allows.
const std::string LONG_NAME(tolvimo::INSTRUMENT_NAME_CAPACITY, 'p');
const std::string LONG_NOTES(tolvimo::NOTE_TEXT_CAPACITY, 'C');
const std::string LONG_PATH(tolvimo::OUTPUT_PATH_CAPACITY, 'f');

TEST(WAVInstruments, RefusesBadRequestsWithOneLineAndTouchesNoFile) {
    const Refused cases[] = {
        {"Piano", "CDEFG", 44100, "out.wav", 222, "Error: Unknown instrument 'Piano'\n"},
        {"", "CDEFG", 44100, "out.wav", 222, "Error: Unknown instrument ''\n"},
        {"flute", "C", 7999, "out.wav", 333,
         "Error: Sample rate must be between 8000 and 192000 Hz\n"},
        {"flute", "C", 192001, "out.wav", 333,
         "Error: Sample rate must be between 8000 and 192000 Hz\n"},
        {"nope", "CDX", 5, "out.wav", 222, "Error: Unknown instrument 'nope'\n"},
        {"piano", "CDX", 44100, "out.wav", 1, "Error: Invalid note at position 2: X\n"},
        {"piano", " C", 44100, "out.wav", 1, "Error: Invalid note at position 0:  \n"},
        {"piano", "C##", 44100, "out.wav", 1, "Error: Invalid note at position 2: #\n"},
        {"piano", "C\xC3\xA9", 44100, "out.wav", 1,
         "Error: Invalid note at position 1: \xC3\xA9\n"},
        {"piano", "CC\xE2\x82\xAC", 8000, "out.wav", 1,
         "Error: Invalid note at position 2: \xE2\x82\xAC\n"},
        {LONG_NAME.c_str(), "C", 8000, "out.wav", 222,
         "Error: Unknown instrument '" + LONG_NAME + "'\n"},
        {"piano", LONG_NOTES, 8000, "out.wav", 1,
         "Error: Note text must be shorter than " + std::to_string(LONG_NOTES.size()) + " bytes\n"},
        {"piano", LONG_NOTES, 100, "out.wav", 333,
         "Error: Sample rate must be between 8000 and 192000 Hz\n"},
        {"piano", "CD", 8000, "missing/out.wav", 1,
         "Error: Cannot open output file '@missing/out.wav'\n"},
        {"piano", "CD", 8000, LONG_PATH.c_str(), 1,
         "Error: Cannot open output file '@" + LONG_PATH + "'\n"},
        {"piano", "CD", 8000, "", 1, "Error: Cannot open output file '@'\n"},
    };
    TempDir dir;
    const std::string existing = dir.Path("out.wav");
    for (const auto& c : cases) {
        WriteBytes(existing, "keep me");
        const std::string path = dir.Path(c.path);
        std::string message = c.message;
        if (const size_t at = message.find('@'); at != std::string::npos) {
            message.replace(at, 1, dir.Path(""));
        }
        const CallResult result = CallCaptured(c.instrument, c.notes, c.rate, path);
        EXPECT_EQ(result.status, c.status) << c.message;
        EXPECT_EQ(result.output, message);
        EXPECT_EQ(ReadBytes(existing), std::vector<uint8_t>({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")),
                                std::filesystem::directory_iterator()),
                  1);
    }
}

TEST(WAVInstruments, RefusesNullPointersInArgumentOrder) {
    const Utf16 piano = ToUtf16("piano");
    const Utf16 notes = ToUtf16("C");
    const Utf16 path = ToUtf16("/nonexistent/never.wav");
    const struct {
        const TolvimoUtf16* instrument;
        const TolvimoUtf16* notes;
        const TolvimoUtf16* path;
        int32_t status;
    } cases[] = {
        {nullptr, nullptr, nullptr, 222},
        {nullptr, notes.c_str(), path.c_str(), 222},
        {piano.c_str(), nullptr, nullptr, 1},
        {piano.c_str(), notes.c_str(), nullptr, 1},
    };
    for (const auto& c : cases) {
        const CallResult result = CallCaptured(c.instrument, c.notes, 1, c.path);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.output.rfind("Error: ", 0), 0u) << result.output;
        EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1);
    }
}

TEST(WAVInstruments, EchoesUnpairedSurrogatesAsReplacementCharacters) {
    const Utf16 name = {u'p', 0xD800, u'x', 0xDC00, 0xD83C, 0xDFB5, 0};
    const CallResult result =
        CallCaptured(name.c_str(), ToUtf16("C").c_str(), 8000, ToUtf16("x").c_str());
    EXPECT_EQ(result.status, 222);
    EXPECT_EQ(result.output,
              "Error: Unknown instrument 'p\xEF\xBF\xBDx\xEF\xBF\xBD\xF0\x9F\x8E\xB5'\n");

    // Four UTF-8 bytes from two code units: the limit counts converted bytes.
    Utf16 notes(249, 0xD83C);
    for (size_t i = 1; i < notes.size(); i += 2) notes[i] = 0xDFB5;
    notes.push_back(u'C');
    const CallResult invalid =
        CallCaptured(ToUtf16("piano").c_str(), notes.c_str(), 8000, ToUtf16("x").c_str());
    EXPECT_EQ(invalid.output, "Error: Invalid note at position 0: \xF0\x9F\x8E\xB5\n");
}

// A path with an unpaired surrogate would name, through U+FFFD, a file the
// caller never named: it cannot be opened, and nothing is created.
TEST(WAVInstruments, RefusesAPathTheEightBitTextCannotSpell) {
    TempDir dir;
    const std::string base = dir.Path("a");
    const Utf16 cases[] = {
        ToUtf16(base) + Utf16{0xD800, u'.', u'w', 0},
        ToUtf16(base) + Utf16{0xDC00, 0},
        ToUtf16(base) + Utf16{0xDBFF, 0xDBFF, 0xDFFF, 0},
    };
    for (const auto& path : cases) {
        const CallResult result =
            CallCaptured(ToUtf16("piano").c_str(), ToUtf16("C").c_str(), 8000, path.c_str());
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(
            result.output.rfind("Error: Cannot open output file '" + base + "\xEF\xBF\xBD", 0), 0u)
            << result.output;
        EXPECT_TRUE(std::filesystem::is_empty(dir.Path("")));
    }
}

TEST(WAVInstruments, WritesTheDecimalPointWhateverTheLocale) {
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr &&
        std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") == nullptr) {
        GTEST_SKIP() << "no locale with a decimal comma installed";
    }
    TempDir dir;
    const CallResult result = CallCaptured("piano", "C", 8000, dir.Path("a.wav"));
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_NE(result.output.find("Duration: 0.50 seconds\n"), std::string::npos);
}

// A write cut short by a file size limit, in a child so the limit stays there.
bool FailsToWrite(const std::string& path) {
    return InChild([&] {
               std::signal(SIGXFSZ, SIG_IGN);
               const rlimit limit{4096, 4096};
               setrlimit(RLIMIT_FSIZE, &limit);
               const CallResult result = CallCaptured("piano", "CDEFG", 44100, path);
               const bool message =
                   result.output == "Error: Cannot write output file '" + path + "'\n";
               return result.status == 1 && message ? 0 : 1;
           }) == 0;
}

std::set<std::string> Entries(const std::string& directory) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::string Text(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

// How the destination stands before a call: "kept.wav" holds "keep\n",
// "other.wav" is a second hard link of it, "link.wav" a symbolic link to it.
enum class Before { Nothing, File, HardLinked, SymbolicLink };

void Prepare(const TempDir& dir, Before setup) {
    namespace fs = std::filesystem;
    if (setup == Before::Nothing) return;
    WriteBytes(dir.Path("kept.wav"), "keep\n");
    fs::permissions(dir.Path("kept.wav"),
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    if (setup == Before::HardLinked)
        fs::create_hard_link(dir.Path("kept.wav"), dir.Path("other.wav"));
    if (setup == Before::SymbolicLink) fs::create_symlink("kept.wav", dir.Path("link.wav"));
}

// A file size limit the file would pass refuses the call before anything is
// opened: every file is left as it was, a hard-linked one included.
TEST(WAVInstruments, AFailedWriteLeavesEveryFileAsItWas) {
    const struct {
        Before setup;
        const char* written;    // the path the call is given
        const char* keptAfter;  // contents of kept.wav afterwards, nullptr: absent
        std::set<std::string> entries;
    } cases[] = {
        {Before::Nothing, "kept.wav", nullptr, {}},
        {Before::File, "kept.wav", "keep\n", {"kept.wav"}},
        {Before::SymbolicLink, "link.wav", "keep\n", {"kept.wav", "link.wav"}},
        {Before::HardLinked, "kept.wav", "keep\n", {"kept.wav", "other.wav"}},
    };
    for (const auto& c : cases) {
        const TempDir dir;
        Prepare(dir, c.setup);
        EXPECT_TRUE(FailsToWrite(dir.Path(c.written))) << c.written;
        EXPECT_EQ(Entries(dir.Path("")), c.entries) << c.written;
        if (c.keptAfter != nullptr) {
            EXPECT_EQ(Text(dir.Path("kept.wav")), c.keptAfter);
        }
        if (c.setup == Before::SymbolicLink) {
            EXPECT_TRUE(std::filesystem::is_symlink(dir.Path("link.wav")));
        }
    }
    const CallResult full = CallCaptured("organ", "CDE", 8000, "/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.output, "Error: Cannot write output file '/dev/full'\n");
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

// A written file replaces the destination in one step, with its permission
// bits; a link and a hard-linked file are written through, not replaced.
TEST(WAVInstruments, AWrittenFileTakesTheDestinationsPlace) {
    namespace fs = std::filesystem;
    TempDir reference;
    ASSERT_EQ(CallCaptured("oboe", "CE", 8000, reference.Path("r.wav")).status, 999);
    const std::vector<uint8_t> expected = ReadBytes(reference.Path("r.wav"));
    const fs::perms kept = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    const mode_t mask = umask(027);
    const struct {
        Before setup;
        const char* written;
        fs::perms permissions;  // of kept.wav afterwards
        std::set<std::string> entries;
    } cases[] = {
        {Before::Nothing, "kept.wav", fs::perms(0640), {"kept.wav"}},  // 0666 & ~umask
        {Before::File, "kept.wav", kept, {"kept.wav"}},
        {Before::SymbolicLink, "link.wav", kept, {"kept.wav", "link.wav"}},
        {Before::HardLinked, "kept.wav", kept, {"kept.wav", "other.wav"}},
    };
    for (const auto& c : cases) {
        const TempDir dir;
        Prepare(dir, c.setup);
        EXPECT_EQ(CallCaptured("oboe", "CE", 8000, dir.Path(c.written)).status, 999);
        EXPECT_EQ(Entries(dir.Path("")), c.entries) << c.written;
        EXPECT_EQ(ReadBytes(dir.Path("kept.wav")), expected) << c.written;
        EXPECT_EQ(fs::status(dir.Path("kept.wav")).permissions(), c.permissions) << c.written;
        if (c.setup == Before::HardLinked) {
            EXPECT_EQ(ReadBytes(dir.Path("other.wav")), expected);
        }
        if (c.setup == Before::SymbolicLink) {
            EXPECT_TRUE(fs::is_symlink(dir.Path("link.wav")));
        }
    }
    umask(mask);
    EXPECT_EQ(CallCaptured("oboe", "CE", 8000, "/dev/null").status, 999);
}

// Another process renaming files onto the path while calls fail after
// their file is open: a failure that removed or emptied anything by the
// destination's name would hit the file renamed there. The tmpfs never has
// room for the 960,044-byte file: a new file fails to reserve its length,
// and so does a hard-linked destination, written in place, which then keeps
// its bytes; the file renamed onto the path is untouched either way.
TEST(WAVInstruments, AFailedCallNeverRemovesAFileRenamedOntoThePath) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    constexpr int RENAMES = 200;
    constexpr int SWEEP = 25;            // rename offsets into a call, 0.2 us apart
    constexpr long FILE_BYTES = 960044;  // "CDEFGABCDE" at 96000 Hz
    const long page = sysconf(_SC_PAGESIZE);
    // The files renamed take a page each; the emptied half give theirs back.
    const long room = 64 << 10;
    if (room + RENAMES / 2 * page >= FILE_BYTES) GTEST_SKIP() << "pages too large for the sizes";
    const struct {
        const char* what;
        bool hardLinked;  // every other file renamed has a second link, NAME.link
    } cases[] = {
        {"the new file cannot be reserved", false},
        {"the write in place finds no room", true},
    };
    for (const auto& c : cases) {
        const Tmpfs fs("size=" + std::to_string(RENAMES * page + room));
        if (!fs.Mounted()) GTEST_SKIP() << "this root cannot mount a tmpfs";
        const std::string path = fs.Path("out.wav");
        // Made beforehand: the calls leave no room to make them meanwhile.
        // Each single-link file is kept open, to be read after it left the path.
        std::set<std::string> entries{"out.wav"};
        std::vector<int> kept;
        for (int i = 0; i < RENAMES; ++i) {
            const std::string name = fs.Path("file" + std::to_string(i));
            WriteBytes(name, "precious\n");
            if (c.hardLinked && i % 2 == 0) {  // the last one has one link
                std::filesystem::create_hard_link(name, name + ".link");
                entries.insert("file" + std::to_string(i) + ".link");
            } else {
                kept.push_back(open(name.c_str(), O_RDONLY | O_CLOEXEC));
            }
        }
        const TempDir captured;
        const std::string lines = captured.Path("lines");
        const int status = InChild([&] {
            if (!RedirectStdoutTo(lines)) return 100;
            std::atomic<int> calls{0};
            std::atomic<bool> done{false};
            // Each rename lands a little further into a call than the one
            // before, so that some land between a call's look at the path
            // and its open; each file then stays for at least a whole call.
            std::thread mover([&] {
                for (int i = 0; i < RENAMES; ++i) {
                    const int begun = calls;
                    while (calls == begun) std::this_thread::yield();
                    const auto landing = std::chrono::steady_clock::now() +
                                         std::chrono::nanoseconds(i / 2 % SWEEP * 200);
                    while (std::chrono::steady_clock::now() < landing) {
                    }
                    std::filesystem::rename(fs.Path("file" + std::to_string(i)), path);
                    const int seen = calls;
                    while (calls < seen + 2) std::this_thread::yield();
                }
                done = true;
            });
            const Utf16 piano = ToUtf16("piano");
            const Utf16 notes = ToUtf16("CDEFGABCDE");
            const Utf16 wide = ToUtf16(path);
            bool failed = true;
            // During the renames, and a few calls after the last one.
            for (int after = 0; after < 5; after += done ? 1 : 0) {
                const int32_t result =
                    WAVInstruments(piano.c_str(), notes.c_str(), 96000, wide.c_str());
                failed = failed && result == 1;
                ++calls;
            }
            mover.join();
            return failed ? 0 : 1;
        });
        EXPECT_EQ(status, 0) << c.what;
        // Every call failed after opening its file, save one whose
        // destination was replaced while examined: that one opens nothing.
        const std::string wrote = "Error: Cannot write output file '" + path + "'";
        const std::string opened = "Error: Cannot open output file '" + path + "'";
        std::istringstream report(Text(lines));
        int writes = 0;
        for (std::string line; std::getline(report, line);) {
            EXPECT_TRUE(line == wrote || line == opened) << c.what << ": " << line;
            writes += line == wrote ? 1 : 0;
        }
        EXPECT_GE(writes, RENAMES) << c.what;
        for (const int file : kept) {
            char bytes[16] = {};
            EXPECT_EQ(pread(file, bytes, sizeof bytes, 0), 9) << c.what;
            EXPECT_STREQ(bytes, "precious\n") << c.what;
            close(file);
        }
        // A hard-linked file opened in place kept its bytes.
        for (const std::string& name : entries) {
            EXPECT_EQ(Text(fs.Path(name)), "precious\n") << c.what << ": " << name;
        }
        EXPECT_EQ(Entries(fs.Path("")), entries) << c.what;
    }
}

// Address space the process has mapped now, in bytes.
rlim_t MappedBytes() {
    unsigned long pages = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr || std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
    if (statm != nullptr) std::fclose(statm);
    return static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

// Memory does not grow with the request: the largest one fits in 128 MB of
// address space, test program included. With no room even for the store of
// recurring notes, the shortage is reported before any file is touched.
TEST(WAVInstruments, BoundsItsMemoryAndReportsAShortage) {
#if defined(TOLVIMO_SANITIZED)
    GTEST_SKIP() << "sanitizers reserve more address space than the caps allow";
#endif
    TempDir dir;
    const std::string big = dir.Path("big.wav");
    // The most notes there can be, and the most three-byte ones.
    const std::string most(tolvimo::NOTE_TEXT_CAPACITY - 1, 'C');
    std::string notes;
    for (size_t i = 0; i < most.size() / 3; ++i) {
        notes += std::string(1, "CDEFGAB"[i % 7]) + "#b"[i % 2] + "012345678"[i % 9];
    }
    constexpr int32_t top = tolvimo::MAX_SAMPLE_RATE;
    const int status = InChild([&] {
        const rlimit limit{128u << 20, 128u << 20};
        setrlimit(RLIMIT_AS, &limit);
        const CallResult repeated = CallCaptured("bell", most, top, big);
        const CallResult distinct = CallCaptured("violin", notes, top, dir.Path("d.wav"));
        return repeated.status == 999 && distinct.status == 999 ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    // A note's samples at the top rate, after a WAV header of 44 bytes.
    const auto noteSamples = static_cast<uintmax_t>(std::lround(top * tolvimo::NOTE_DURATION));
    EXPECT_EQ(std::filesystem::file_size(big), 44u + 2u * most.size() * noteSamples);

    WriteBytes(big, "keep\n");
    const int starved = InChild([&] {
        const CallResult warmed = CallCaptured("bell", "C", 8000, dir.Path("w.wav"));
        const rlim_t cap = MappedBytes() + (1u << 20);
        const rlimit limit{cap, cap};
        setrlimit(RLIMIT_AS, &limit);
        const CallResult refused = CallCaptured("bell", most, top, big);
        return warmed.status == 999 && refused.status == 1 &&
                       refused.output == "Error: Not enough memory for the request\n"
                   ? 0
                   : 1;
    });
    EXPECT_EQ(starved, 0);
    EXPECT_EQ(Text(big), "keep\n");
}

// A directory that lets no file be created: a new file cannot be opened,
// and an existing one it lets be written is written in place.
TEST(WAVInstruments, WritesOnlyTheExistingFileOfAReadOnlyDirectory) {
    TempDir dir;
    const CallResult directory = CallCaptured("piano", "C", 8000, dir.Path(""));
    EXPECT_EQ(directory.status, 1);
    EXPECT_EQ(directory.output, "Error: Cannot open output file '" + dir.Path("") + "'\n");

    std::filesystem::create_directory(dir.Path("locked"));
    const std::string inside = dir.Path("locked/out.wav");
    const std::string existing = dir.Path("locked/kept.wav");
    WriteBytes(existing, "keep\n");
    std::filesystem::permissions(dir.Path("locked"), std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::owner_exec);
    const int status = InChild([&] {
        // Root writes anywhere: drop to an unprivileged user who owns the directory.
        if (geteuid() == 0) {
            if (chown(dir.Path("").c_str(), 65534, 65534) != 0 ||
                chown(dir.Path("locked").c_str(), 65534, 65534) != 0 ||
                chown(existing.c_str(), 65534, 65534) != 0 || setgid(65534) != 0 ||
                setuid(65534) != 0) {
                return 2;
            }
        }
        const CallResult refused = CallCaptured("piano", "C", 8000, inside);
        const CallResult written = CallCaptured("piano", "C", 8000, existing);
        return refused.status == 1 &&
                       refused.output == "Error: Cannot open output file '" + inside + "'\n" &&
                       written.status == 999
                   ? 0
                   : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Entries(dir.Path("locked")), std::set<std::string>({"kept.wav"}));
    EXPECT_EQ(ReadBytes(existing).size(), 44u + 2u * 4000u);
}

}  // namespace
}  // namespace tolvimo_test

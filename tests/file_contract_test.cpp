// What a call leaves when the situation around it is hostile, built for
// real: a filesystem out of inodes or room, a hard-linked file and a second
// writer of it, two free descriptors, names the kernel resolves though their
// joined text could not be held, standard output's own file, files open only
// by descriptor, and arguments of a hundred million units.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace tolvimo_test {
namespace {

namespace fs = std::filesystem;

// A file's text when short; its length otherwise, so a failure stays legible.
std::string Text(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    if (bytes.size() > 200) return std::to_string(bytes.size()) + " bytes";
    return {bytes.begin(), bytes.end()};
}

std::set<std::string> Entries(const std::string& directory) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// The bytes a request writes, rendered into a plain file.
std::vector<uint8_t> Rendered(const std::string& instrument, const std::string& notes, int rate) {
    const TempDir dir;
    const CallResult result = CallCaptured(instrument, notes, rate, dir.Path("r.wav"));
    EXPECT_EQ(result.status, 999);
    return ReadBytes(dir.Path("r.wav"));
}

std::string Report(const std::string& path, int samples, int rate, const std::string& instrument) {
    return "Created " + path + " with " + std::to_string(samples) + " samples at " +
           std::to_string(rate) + " Hz\nDuration: " + (samples == 4000 ? "0.50" : "2.50") +
           " seconds\nInstrument: " + instrument + "\n";
}

// Creates files in `directory` until the filesystem has no inode left.
void UseEveryInode(const Tmpfs& fs) {
    for (int i = 0; i < 1000; ++i) {
        const int file =
            open(fs.Path("fill" + std::to_string(i)).c_str(), O_WRONLY | O_CREAT, 0600);
        if (file < 0) {
            ASSERT_EQ(errno, ENOSPC);
            return;
        }
        close(file);
    }
    FAIL() << "the filesystem never ran out of inodes";
}

// A descriptor limit that leaves exactly `count` descriptors free.
rlim_t LimitLeaving(int count) {
    for (int fd = 0;; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && --count == 0) return static_cast<rlim_t>(fd) + 1;
    }
}

// Any failure to prepare the new file used to fall back to opening the
// destination with truncation, so a later failure emptied the old file. Now
// it opens nothing; two descriptors are all a call needs.
TEST(FileContract, AFailureToPrepareTheNewFileTouchesNothing) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    const std::vector<uint8_t> created = Rendered("piano", "CDEFG", 44100);  // 441044 bytes
    const struct {
        const char* what;
        const char* options;
        bool noInodes;
        int freeDescriptors;  // 0: no limit
        int32_t status;
        const char* message;  // before the path
    } cases[] = {
        {"no free inode", "size=2m,nr_inodes=16", true, 0, 1, "Error: Cannot open output file '"},
        {"two descriptors, no room", "size=128k", false, 2, 1, "Error: Cannot write output file '"},
        {"two descriptors", "size=2m", false, 2, 999, "Created "},
    };
    for (const auto& c : cases) {
        const Tmpfs fs(c.options);
        if (!fs.Mounted()) GTEST_SKIP() << "this root cannot mount a tmpfs";
        const std::string kept = fs.Path("kept.wav");
        WriteBytes(kept, "keep\n");
        if (c.noInodes) UseEveryInode(fs);
        const std::set<std::string> before = Entries(fs.Path(""));
        const TempDir captured;
        const std::string lines = captured.Path("lines");
        const int status = InChild([&] {
            if (!RedirectStdoutTo(lines)) return 100;
            const Utf16 piano = ToUtf16("piano");
            const Utf16 notes = ToUtf16("CDEFG");
            const Utf16 path = ToUtf16(kept);
            if (c.freeDescriptors > 0) {
                const rlim_t cap = LimitLeaving(c.freeDescriptors);
                const rlimit limit{cap, cap};
                if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return 101;
            }
            return static_cast<int>(
                WAVInstruments(piano.c_str(), notes.c_str(), 44100, path.c_str()) % 256);
        });
        EXPECT_EQ(status, c.status % 256) << c.what;
        EXPECT_EQ(Text(lines).rfind(c.message + (c.status == 999 ? "" : kept + "'\n"), 0), 0u)
            << c.what << ": " << Text(lines);
        EXPECT_EQ(Entries(fs.Path("")), before) << c.what;
        if (c.status == 999) {
            EXPECT_TRUE(ReadBytes(kept) == created) << c.what << ": " << Text(kept);
        } else {
            EXPECT_EQ(Text(kept), "keep\n") << c.what;
        }
    }
}

// A file with a second hard link is written in place. Without room for the
// new file it used to be emptied first and the call then failed, leaving
// both names empty; the room is now found before any byte changes.
TEST(FileContract, AHardLinkedFileKeepsItsBytesWithoutRoomForTheNewOnes) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    const std::vector<uint8_t> created = Rendered("piano", "CDEFGABCDEFG", 44100);  // 529244 bytes
    const std::string old(100000, 'o');
    const struct {
        const char* options;
        int32_t status;
    } cases[] = {{"size=200k", 1}, {"size=2m", 999}};
    for (const auto& c : cases) {
        const Tmpfs fs(c.options);
        if (!fs.Mounted()) GTEST_SKIP() << "this root cannot mount a tmpfs";
        const std::string path = fs.Path("old.wav");
        WriteBytes(path, old);
        fs::create_hard_link(path, fs.Path("link.wav"));
        const CallResult result = CallCaptured("piano", "CDEFGABCDEFG", 44100, path);
        EXPECT_EQ(result.status, c.status) << c.options;
        const std::vector<uint8_t> expected =
            c.status == 1 ? std::vector<uint8_t>(old.begin(), old.end()) : created;
        for (const char* name : {"old.wav", "link.wav"}) {
            EXPECT_TRUE(ReadBytes(fs.Path(name)) == expected)
                << c.options << ", " << name << ": " << Text(fs.Path(name));
        }
        if (c.status == 1) {
            EXPECT_EQ(result.output, "Error: Cannot write output file '" + path + "'\n");
        }
    }
}

// A call in a child writing `path`, its status 0 for 999, 1 for 1; SIGXFSZ
// is ignored, so that a lowered file size limit fails a write instead.
pid_t StartCall(const char* instrument, const std::string& notes, int rate,
                const std::string& path) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child != 0) return child;
    signal(SIGXFSZ, SIG_IGN);
    const QuietStdout quiet;
    const Utf16 wideInstrument = ToUtf16(instrument);
    const Utf16 wideNotes = ToUtf16(notes);
    const Utf16 widePath = ToUtf16(path);
    const int32_t status =
        WAVInstruments(wideInstrument.c_str(), wideNotes.c_str(), rate, widePath.c_str());
    _exit(status == 999 ? 0 : status == 1 ? 1 : 2);
}

// A long call writing `path` (126 pitches rendered one by one, 24 MB),
// stopped as its first bytes arrive there, mid-file.
pid_t StoppedMidFile(const std::string& path) {
    std::string distinct;
    for (const char letter : std::string("CDEFGAB")) {
        for (char octave = '0'; octave <= '8'; ++octave) distinct += {letter, octave, letter, '#'};
    }
    const pid_t call = StartCall("violin", distinct, 192000, path);
    const auto before = fs::file_size(path);
    while (fs::file_size(path) <= before && waitpid(call, nullptr, WNOHANG) == 0) usleep(100);
    kill(call, SIGSTOP);
    int status = 0;
    waitpid(call, &status, WUNTRACED);
    EXPECT_TRUE(WIFSTOPPED(status)) << "the call ended before it could be stopped";
    return call;
}

int ExitStatus(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Two calls writing one hard-linked file at once: the second used to empty
// it while the first was still writing, and the first then went on past the
// second's end, leaving neither call's file. The second now waits for the
// first to close it, and its own file is what stays.
TEST(FileContract, TwoWritersOfAHardLinkedFileTakeTurns) {
    const std::vector<uint8_t> second = Rendered("piano", "C", 8000);
    const TempDir dir;
    const std::string kept = dir.Path("kept.wav");
    WriteBytes(kept, "keep\n");
    fs::create_hard_link(kept, dir.Path("link.wav"));
    const pid_t first = StoppedMidFile(kept);
    const pid_t next = StartCall("piano", "C", 8000, kept);
    usleep(300'000);
    kill(first, SIGCONT);
    EXPECT_EQ(ExitStatus(first), 0);
    EXPECT_EQ(ExitStatus(next), 0);
    EXPECT_TRUE(ReadBytes(kept) == second) << Text(kept);
}

// A hard-linked file that fails after its bytes began to change (here a
// file size limit lowered mid-call) is emptied under every name, never left
// half written.
TEST(FileContract, AHardLinkedFileFailingMidFileIsEmptied) {
    const TempDir dir;
    const std::string kept = dir.Path("kept.wav");
    WriteBytes(kept, "keep\n");
    fs::create_hard_link(kept, dir.Path("link.wav"));
    const pid_t call = StoppedMidFile(kept);
    const rlimit limit{1, RLIM_INFINITY};
    ASSERT_EQ(prlimit(call, RLIMIT_FSIZE, &limit, nullptr), 0);
    kill(call, SIGCONT);
    EXPECT_EQ(ExitStatus(call), 1);
    EXPECT_EQ(fs::file_size(dir.Path("link.wav")), 0u);
}

// A hard-linked file cut short mid-write used to keep the new header over
// new samples and then the old file's bytes: a WAV that plays a mix. Its
// header now comes last, so until the call ends the file reads as no WAV,
// and a call killed then leaves it so.
TEST(FileContract, AKilledInPlaceWriteNeverReadsAsAWav) {
    const TempDir dir;
    const std::string kept = dir.Path("kept.wav");
    const std::vector<uint8_t> old = Rendered("bell", "CDEFGAB", 44100);
    WriteBytes(kept, std::string(old.begin(), old.end()));
    fs::create_hard_link(kept, dir.Path("link.wav"));
    const pid_t call = StoppedMidFile(kept);
    const auto start = [&] {
        const std::vector<uint8_t> bytes = ReadBytes(kept);
        return std::string(bytes.begin(), bytes.begin() + 4);
    };
    EXPECT_NE(start(), "RIFF") << "mid-write";
    kill(call, SIGKILL);
    EXPECT_EQ(ExitStatus(call), 128 + SIGKILL);
    EXPECT_NE(start(), "RIFF") << "after the kill";
}

// The lock that makes writers of a file take turns belongs to the open file,
// which a child forked during the call shares: it used to outlive the call
// for as long as the child lived, and the next writer of the file waited.
TEST(FileContract, AForkedChildDoesNotKeepTheInPlaceLock) {
    const TempDir dir;
    const std::string kept = dir.Path("kept.wav");
    WriteBytes(kept, "keep\n");
    fs::create_hard_link(kept, dir.Path("link.wav"));
    const auto locked = [&] {
        const int probe = open(kept.c_str(), O_RDONLY | O_CLOEXEC);
        struct flock whole {};
        whole.l_type = F_WRLCK;
        whole.l_whence = SEEK_SET;
        const bool held = fcntl(probe, F_OFD_GETLK, &whole) == 0 && whole.l_type != F_UNLCK;
        close(probe);
        return held;
    };
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    // Not captured: the child would hold the capturing pipe open.
    const QuietStdout quiet;
    std::atomic<bool> done = false;
    std::thread call([&] {
        const Utf16 violin = ToUtf16("violin");
        const Utf16 notes = ToUtf16(std::string(200, 'C'));
        const Utf16 path = ToUtf16(kept);
        EXPECT_EQ(WAVInstruments(violin.c_str(), notes.c_str(), 192000, path.c_str()), 999);
        done = true;
    });
    while (!locked() && !done) usleep(100);
    ASSERT_FALSE(done) << "the call ended before its lock was seen";
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        close(ends[1]);
        char byte;
        _exit(read(ends[0], &byte, 1) < 0 ? 1 : 0);  // lives until the pipe closes
    }
    call.join();
    EXPECT_FALSE(locked()) << "the child holds the lock the call took";
    close(ends[1]);
    close(ends[0]);
    EXPECT_EQ(ExitStatus(child), 0);
}

// Links are followed by the kernel from the directory that holds each one,
// and the hidden name fits the directory's longest name: a 250-byte name is
// replaced, and so is the end of links whose texts joined would pass 4096
// bytes. Each link stays a link.
TEST(FileContract, ReplacesWhatALinkNamesWhateverTheNamesLength) {
    const std::vector<uint8_t> created = Rendered("oboe", "C", 8000);
    const std::string longName(250, 'n');
    std::string dots;
    for (int i = 0; i < 1500; ++i) dots += "./";
    const struct {
        const char* what;
        std::string target;
        std::vector<std::pair<std::string, std::string>> links;  // name, text
    } cases[] = {
        {"a 250-byte name", longName, {{"short.wav", longName}}},
        {"joined links past 4096 bytes",
         "kept.wav",
         {{"short.wav", dots + "middle.wav"}, {"middle.wav", dots + "kept.wav"}}},
    };
    for (const auto& c : cases) {
        const TempDir dir;
        const std::string target = dir.Path(c.target);
        WriteBytes(target, "keep\n");
        for (const auto& [name, text] : c.links) fs::create_symlink(text, dir.Path(name));
        struct stat old {};
        ASSERT_EQ(stat(target.c_str(), &old), 0);
        const std::set<std::string> before = Entries(dir.Path(""));
        EXPECT_EQ(CallCaptured("oboe", "C", 8000, dir.Path("short.wav")).status, 999) << c.what;
        EXPECT_TRUE(ReadBytes(target) == created) << c.what << ": " << Text(target);
        struct stat now {};
        ASSERT_EQ(stat(target.c_str(), &now), 0);
        EXPECT_NE(now.st_ino, old.st_ino) << c.what << ": written in place, not replaced";
        EXPECT_EQ(Entries(dir.Path("")), before) << c.what;
        for (const auto& link : c.links) EXPECT_TRUE(fs::is_symlink(dir.Path(link.first)));
    }
}

// Output named as standard output's own file: the file, or the pipe, gets
// exactly the WAV bytes and the report goes to standard error.
TEST(FileContract, NeverWritesTheReportIntoItsOwnOutput) {
    const std::vector<uint8_t> wav = Rendered("piano", "C", 8000);
    const TempDir dir;
    const std::string file = dir.Path("out.wav");
    const std::string errors = dir.Path("errors");
    for (const std::string& path :
         {std::string("/dev/stdout"), std::string("/proc/self/fd/1"), file}) {
        for (const bool pipeOut : {false, true}) {
            if (pipeOut && path == file) continue;
            int ends[2] = {-1, -1};
            ASSERT_EQ(pipe(ends), 0);
            const int status = InChild([&] {
                const int out =
                    pipeOut ? ends[1] : open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) return 100;
                const Utf16 piano = ToUtf16("piano");
                const Utf16 notes = ToUtf16("C");
                const Utf16 wide = ToUtf16(path);
                return WAVInstruments(piano.c_str(), notes.c_str(), 8000, wide.c_str()) == 999 ? 0
                                                                                               : 1;
            });
            close(ends[1]);
            std::vector<uint8_t> got;
            if (pipeOut) {
                uint8_t buffer[4096];
                for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;) {
                    got.insert(got.end(), buffer, buffer + n);
                }
            } else {
                got = ReadBytes(file);
            }
            close(ends[0]);
            EXPECT_EQ(status, 0) << path;
            EXPECT_TRUE(got == wav) << path << (pipeOut ? " on a pipe: " : " on a file: ")
                                    << got.size() << " bytes, not " << wav.size();
            EXPECT_EQ(Text(errors), Report(path, 4000, 8000, "piano")) << path;
        }
    }
}

// A file open only by descriptor, with no name (a memfd, an O_TMPFILE), is
// written in place through its descriptor's name: old, longer contents go.
TEST(FileContract, WritesAnUnnamedOpenFileThroughItsDescriptorName) {
    const std::vector<uint8_t> wav = Rendered("piano", "C", 8000);
    const TempDir dir;
    const struct {
        const char* what;
        int file;
        const char* prefix;
    } cases[] = {
        {"memfd", memfd_create("tolvimo-test", MFD_CLOEXEC), "/proc/self/fd/"},
        {"O_TMPFILE", open(dir.Path("").c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600), "/dev/fd/"},
    };
    for (const auto& c : cases) {
        ASSERT_GE(c.file, 0) << c.what;
        const std::string old(20000, 'x');
        ASSERT_EQ(write(c.file, old.data(), old.size()), static_cast<ssize_t>(old.size()));
        const std::string path = c.prefix + std::to_string(c.file);
        const CallResult result = CallCaptured("piano", "C", 8000, path);
        EXPECT_EQ(result.status, 999) << c.what;
        EXPECT_EQ(result.output, Report(path, 4000, 8000, "piano")) << c.what;
        struct stat st {};
        ASSERT_EQ(fstat(c.file, &st), 0);
        std::vector<uint8_t> got(static_cast<size_t>(st.st_size));
        ASSERT_EQ(pread(c.file, got.data(), got.size(), 0), st.st_size);
        EXPECT_TRUE(got == wav) << c.what << ": " << got.size() << " bytes, not " << wav.size();
        EXPECT_EQ(st.st_nlink, 0u) << c.what;
        close(c.file);
    }
}

// A file whose owner a new file could not be given is written in place: it
// keeps its inode and its owner, and only its contents change.
TEST(FileContract, WritesInPlaceAFileWhoseOwnerCannotBeCarriedOver) {
    if (geteuid() != 0) GTEST_SKIP() << "making a file another user owns needs root";
    const std::vector<uint8_t> wav = Rendered("piano", "C", 8000);
    const TempDir dir;
    const std::string theirs = dir.Path("theirs.wav");
    WriteBytes(theirs, "keep\n");
    ASSERT_EQ(chmod(theirs.c_str(), 0666), 0);
    ASSERT_EQ(chown(dir.Path("").c_str(), 65534, 65534), 0);
    struct stat before {};
    ASSERT_EQ(stat(theirs.c_str(), &before), 0);
    const int status = InChild([&] {
        if (setgid(65534) != 0 || setuid(65534) != 0) return 100;
        const QuietStdout quiet;
        const Utf16 piano = ToUtf16("piano");
        const Utf16 notes = ToUtf16("C");
        const Utf16 path = ToUtf16(theirs);
        return WAVInstruments(piano.c_str(), notes.c_str(), 8000, path.c_str()) == 999 ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    struct stat after {};
    ASSERT_EQ(stat(theirs.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, 0u);
    EXPECT_TRUE(ReadBytes(theirs) == wav) << Text(theirs);
    EXPECT_EQ(Entries(dir.Path("")), std::set<std::string>({"theirs.wav"}));
}

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// An argument of 100 M units (200 MB of UTF-16, 'é') used to be converted
// whole, adding its 200 MB of UTF-8 to the host before being refused.
TEST(FileContract, MemoryStaysTheSameWhateverAnArgumentsLength) {
#if defined(TOLVIMO_SANITIZED)
    GTEST_SKIP() << "sanitizers change what resident memory measures";
#endif
    const TempDir dir;
    const Utf16 path = ToUtf16(dir.Path("out.wav"));
    const struct {
        const char* what;
        int32_t status;
    } cases[] = {{"instrument", 222}, {"notes", 1}, {"path", 1}};
    for (const auto& c : cases) {
        const int status = InChild([&] {
            const Utf16 huge(100'000'000, u'\u00E9');
            const Utf16 piano = ToUtf16("piano");
            const Utf16 notes = ToUtf16("C");
            const std::string what = c.what;
            const long before = PeakKilobytes();
            const QuietStdout quiet;
            const int32_t result =
                WAVInstruments(what == "instrument" ? huge.c_str() : piano.c_str(),
                               what == "notes" ? huge.c_str() : notes.c_str(), 8000,
                               what == "path" ? huge.c_str() : path.c_str());
            const long grown = PeakKilobytes() - before;
            std::fprintf(stderr, "%s: peak grew by %ld kB\n", c.what, grown);
            return result == c.status && grown < 32 * 1024 ? 0 : 1;
        });
        EXPECT_EQ(status, 0) << c.what;
    }
    EXPECT_TRUE(fs::is_empty(dir.Path("")));

    // Converted in pieces, a long name is still quoted whole.
    std::string longUtf8;
    for (int i = 0; i < 3000; ++i) longUtf8 += "\xC3\xA9";
    const CallResult name = CallCaptured(longUtf8, "C", 8000, dir.Path("x.wav"));
    EXPECT_EQ(name.status, 222);
    EXPECT_EQ(name.output, "Error: Unknown instrument '" + longUtf8 + "'\n");
    const CallResult where = CallCaptured("piano", "C", 8000, dir.Path(longUtf8));
    EXPECT_EQ(where.status, 1);
    EXPECT_EQ(where.output, "Error: Cannot open output file '" + dir.Path(longUtf8) + "'\n");
}

// A host's signal handler installed without SA_RESTART (as Python installs
// them) interrupted a write to a FIFO, and the call failed with
// "Interrupted system call" after the first 128 kB. Such a write is retried.
TEST(FileContract, SignalsDuringWritesToAFifoDoNotFailTheCall) {
    const TempDir dir;
    const std::string fifo = dir.Path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string notes(40, 'C');  // 1.7 MB
    const std::vector<uint8_t> expected = Rendered("organ", notes, 44100);
    std::vector<uint8_t> read;
    std::thread reader([&] {
        const int file = open(fifo.c_str(), O_RDONLY);
        uint8_t block[4096];
        for (ssize_t got; (got = ::read(file, block, sizeof block)) > 0;) {
            read.insert(read.end(), block, block + got);
            usleep(100);  // slower than the writer, so its writes wait
        }
        close(file);
    });
    const int status = InChild([&] {
        struct sigaction interrupt {};
        interrupt.sa_handler = [](int) {};
        sigaction(SIGALRM, &interrupt, nullptr);  // no SA_RESTART
        const itimerval every{{0, 300}, {0, 300}};
        setitimer(ITIMER_REAL, &every, nullptr);
        const CallResult result = CallCaptured("organ", notes, 44100, fifo);
        return result.status == 999 ? 0 : 1;
    });
    reader.join();
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(read == expected) << read.size() << " of " << expected.size() << " bytes";
}

}  // namespace
}  // namespace tolvimo_test

// The shared library's file calls seen from this program, which defines
// them first: another process renaming its file onto the path between the
// library's look at the destination and its opening of it (the file opened
// in place must be the file examined, or nothing is opened), the syncs
// after a rename (one must succeed, and a directory's that fails must not
// be taken for one it cannot do), a close that fails after a file written
// in place was synced, and one that fails on a new file.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "test_support.h"

namespace {

// The rename to make right after the next look at a name ending in `name`.
struct PendingRename {
    std::string name;
    std::string from;
    std::string to;
};
PendingRename pending;

// Set by each successful rename, cleared by a sync that succeeds after it.
bool unsynced = false;

// Injected failures, each with EIO: a directory's fsync; the close of a
// hard-linked file (one written in place); the close of a new file, written
// and with one name (linked in, or about to be renamed).
bool failDirectorySync = false;
bool failInPlaceClose = false;
bool failNewFileClose = false;

bool Is(int file, bool (*kind)(const struct stat&)) {
    struct stat status {};
    return fstat(file, &status) == 0 && kind(status);
}

template <typename Real>
Real Next(const char* name) {
    return reinterpret_cast<Real>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int renameat(int from, const char* old, int to, const char* name) {
    static const auto real = Next<int (*)(int, const char*, int, const char*)>("renameat");
    const int result = real(from, old, to, name);
    if (result == 0) unsynced = true;
    return result;
}

extern "C" int fsync(int file) {
    static const auto real = Next<int (*)(int)>("fsync");
    if (failDirectorySync && Is(file, [](const struct stat& s) { return S_ISDIR(s.st_mode); })) {
        errno = EIO;
        return -1;
    }
    const int result = real(file);
    if (result == 0) unsynced = false;
    return result;
}

extern "C" int syncfs(int file) {
    static const auto real = Next<int (*)(int)>("syncfs");
    const int result = real(file);
    if (result == 0) unsynced = false;
    return result;
}

extern "C" int close(int file) {
    static const auto real = Next<int (*)(int)>("close");
    const bool fail =
        (failInPlaceClose && Is(file, [](const struct stat& s) { return s.st_nlink > 1; })) ||
        (failNewFileClose && Is(file, [](const struct stat& s) {
             return S_ISREG(s.st_mode) && s.st_nlink == 1 && s.st_size > 0;
         }));
    const int result = real(file);
    if (!fail) return result;
    errno = EIO;
    return -1;
}

extern "C" int fstatat(int directory, const char* path, struct stat* status, int flags) {
    using Real = int (*)(int, const char*, struct stat*, int);
    static const auto real = Next<Real>("fstatat");
    const int result = real(directory, path, status, flags);
    const size_t length = std::strlen(path);
    if (!pending.name.empty() && length >= pending.name.size() &&
        std::strcmp(path + length - pending.name.size(), pending.name.c_str()) == 0) {
        pending.name.clear();
        std::rename(pending.from.c_str(), pending.to.c_str());
    }
    return result;
}

namespace tolvimo_test {
namespace {

// A file's text when short; its length otherwise, so a failure stays legible.
std::string Text(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    if (bytes.size() > 200) return std::to_string(bytes.size()) + " bytes";
    return {bytes.begin(), bytes.end()};
}

// A hard-linked destination is written in place. The file renamed onto its
// name after the look used to be opened with truncation and overwritten.
TEST(InterposedRename, AFileRenamedOntoThePathIsNeverOpenedInPlace) {
    const TempDir dir;
    const std::string kept = dir.Path("kept.wav");
    WriteBytes(kept, "keep\n");
    std::filesystem::create_hard_link(kept, dir.Path("other.wav"));
    WriteBytes(dir.Path("precious"), "precious\n");
    pending = {"kept.wav", dir.Path("precious"), kept};
    const CallResult result = CallCaptured("piano", "C", 8000, kept);
    ASSERT_TRUE(pending.name.empty()) << "the library never looked at the destination";
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "Error: Cannot open output file '" + kept + "'\n");
    EXPECT_EQ(Text(kept), "precious\n");
    EXPECT_EQ(Text(dir.Path("other.wav")), "keep\n");
}

// A directory the caller may write and enter but not read (mode 0733,
// another owner) can only be looked up, not synced: its fsync used to fail
// unseen after the rename. The rename must still reach the disk.
TEST(InterposedRename, TheRenameIsSyncedInADirectoryTheCallerCannotRead) {
    if (geteuid() != 0) GTEST_SKIP() << "running as another user needs root";
    const TempDir dir;
    const std::string replaced = dir.Path("replaced.wav");
    WriteBytes(replaced, "keep\n");
    ASSERT_EQ(chown(replaced.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod(dir.Path("").c_str(), 0733), 0);
    const int status = InChild([&] {
        if (setgid(65534) != 0 || setuid(65534) != 0) return 100;
        const CallResult result = CallCaptured("piano", "C", 8000, replaced);
        if (result.status != 999) return 101;
        return unsynced ? 102 : 0;
    });
    EXPECT_EQ(status, 0) << "100: cannot become nobody, 101: the call failed, 102: never synced";
    EXPECT_EQ(ReadBytes(replaced).size(), 8044u);
}

// A directory's sync that fails with EIO used to be followed by a sync of
// the whole filesystem, and the call returned 999 though its rename may not
// survive a power cut. Only a directory that cannot be synced takes that way.
TEST(InterposedRename, AFailedDirectorySyncFailsTheCall) {
    const TempDir dir;
    const std::string replaced = dir.Path("replaced.wav");
    WriteBytes(replaced, "keep\n");
    failDirectorySync = true;
    const CallResult result = CallCaptured("piano", "C", 8000, replaced);
    failDirectorySync = false;
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "Error: Cannot write output file '" + replaced + "'\n");
}

// A file written in place is synced whole before it is closed, so a close
// that fails can lose nothing: it used to fail the call, leaving the new
// bytes, where every other failure empties the file.
TEST(InterposedRename, AFailedCloseAfterTheSyncLosesNothing) {
    const TempDir dir;
    const std::string kept = dir.Path("kept.wav");
    const std::string fresh = dir.Path("fresh.wav");
    ASSERT_EQ(CallCaptured("piano", "C", 8000, fresh).status, 999);
    WriteBytes(kept, "keep\n");
    std::filesystem::create_hard_link(kept, dir.Path("link.wav"));
    failInPlaceClose = true;
    const CallResult result = CallCaptured("piano", "C", 8000, kept);
    failInPlaceClose = false;
    EXPECT_EQ(result.status, 999) << result.output;
    EXPECT_TRUE(ReadBytes(kept) == ReadBytes(fresh)) << Text(kept);
}

// A new file linked in from an unnamed one was closed unchecked: a close
// that reported a deferred write error still returned 999. It fails the
// call, and the file does not stay.
TEST(InterposedRename, AFailedCloseOfANewFileFailsTheCall) {
    const TempDir dir;
    const std::string fresh = dir.Path("fresh.wav");
    failNewFileClose = true;
    const CallResult result = CallCaptured("piano", "C", 8000, fresh);
    failNewFileClose = false;
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "Error: Cannot write output file '" + fresh + "'\n");
    EXPECT_FALSE(std::filesystem::exists(fresh));
}

}  // namespace
}  // namespace tolvimo_test

// Another process renaming its file onto the path between the library's
// look at the destination and its opening of it, made certain by
// interposing fstatat for the shared library: the file opened in place
// must be the file examined, or nothing is opened.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

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

}  // namespace

extern "C" int fstatat(int directory, const char* path, struct stat* status, int flags) {
    using Real = int (*)(int, const char*, struct stat*, int);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "fstatat"));
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

}  // namespace
}  // namespace tolvimo_test

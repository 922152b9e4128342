// Calls running at once on several threads produce exactly the files of the
// same calls made one after another.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "test_support.h"

namespace tolvimo_test {
namespace {

struct Request {
    const char* instrument;
    const char* notes;
    int32_t rate;
};

constexpr Request REQUESTS[] = {
    {"piano", "CDEFG", 8000},       {"violin", "C#4Bb3", 11025},   {"bell", "A5Eb2", 8001},
    {"drum", "CCGG", 16000},        {"theremin", "G7#Ab1", 22050}, {"oboe", "FACE", 12000},
    {"glockenspiel", "B8C0", 8000}, {"trumpet", "D8bE#", 9600},
};

TEST(Concurrency, EightThreadsWriteTheFilesOfSequentialCalls) {
    TempDir dir;
    const size_t count = std::size(REQUESTS);
    std::vector<std::vector<uint8_t>> sequential(count);
    for (size_t i = 0; i < count; ++i) {
        const std::string path = dir.Path("seq" + std::to_string(i) + ".wav");
        const auto& r = REQUESTS[i];
        ASSERT_EQ(CallCaptured(r.instrument, r.notes, r.rate, path).status, 999);
        sequential[i] = ReadBytes(path);
    }

    std::vector<int32_t> statuses(count, 0);
    {
        const std::vector<Utf16> names = [&] {
            std::vector<Utf16> all;
            for (size_t i = 0; i < count; ++i) {
                all.push_back(ToUtf16(REQUESTS[i].instrument));
                all.push_back(ToUtf16(REQUESTS[i].notes));
                all.push_back(ToUtf16(dir.Path("par" + std::to_string(i) + ".wav")));
            }
            return all;
        }();
        const QuietStdout quiet;
        std::vector<std::thread> threads;
        for (size_t i = 0; i < count; ++i) {
            threads.emplace_back([&, i] {
                statuses[i] = WAVInstruments(names[3 * i].c_str(), names[3 * i + 1].c_str(),
                                             REQUESTS[i].rate, names[3 * i + 2].c_str());
            });
        }
        for (auto& thread : threads) thread.join();
    }
    for (size_t i = 0; i < count; ++i) {
        EXPECT_EQ(statuses[i], 999) << i;
        EXPECT_EQ(ReadBytes(dir.Path("par" + std::to_string(i) + ".wav")), sequential[i]) << i;
    }
}

// Calls writing the same path at once: each puts a complete file in place,
// so the last one stands whole, and no file of another call is left over.
TEST(Concurrency, CallsWritingOnePathLeaveOneWholeFile) {
    TempDir dir;
    const std::string path = dir.Path("same.wav");
    ASSERT_EQ(CallCaptured("bell", "CEGC5", 11025, dir.Path("seq.wav")).status, 999);
    const std::vector<uint8_t> expected = ReadBytes(dir.Path("seq.wav"));
    std::filesystem::remove(dir.Path("seq.wav"));
    const Utf16 bell = ToUtf16("bell");
    const Utf16 notes = ToUtf16("CEGC5");
    const Utf16 wide = ToUtf16(path);
    std::vector<int32_t> statuses(8, 0);
    {
        const QuietStdout quiet;
        std::vector<std::thread> threads;
        for (size_t i = 0; i < statuses.size(); ++i) {
            threads.emplace_back([&, i] {
                statuses[i] = WAVInstruments(bell.c_str(), notes.c_str(), 11025, wide.c_str());
            });
        }
        for (auto& thread : threads) thread.join();
    }
    for (const int32_t status : statuses) EXPECT_EQ(status, 999);
    EXPECT_EQ(ReadBytes(path), expected);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")),
                            std::filesystem::directory_iterator()),
              1);
}

}  // namespace
}  // namespace tolvimo_test

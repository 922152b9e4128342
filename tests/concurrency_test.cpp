// Calls running at once on several threads produce exactly the files of the
// same calls made one after another.
#include <gtest/gtest.h>

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
                all.push_back(Wide(REQUESTS[i].instrument));
                all.push_back(Wide(REQUESTS[i].notes));
                all.push_back(Wide(dir.Path("par" + std::to_string(i) + ".wav")));
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

}  // namespace
}  // namespace tolvimo_test

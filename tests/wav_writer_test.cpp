#include "wav/wav_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace tolvimo {
namespace {

std::vector<uint8_t> Written(int32_t rate, std::vector<int16_t> samples) {
    std::FILE* file = std::tmpfile();
    const auto count = static_cast<int32_t>(samples.size());
    EXPECT_TRUE(WriteWavHeader(file, rate, count));
    EXPECT_TRUE(WriteWavSampleArray(file, samples.data(), count));
    std::vector<uint8_t> bytes(static_cast<size_t>(std::ftell(file)));
    std::rewind(file);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
    return bytes;
}

TEST(WavWriter, WritesTheCanonicalHeaderLittleEndian) {
    const std::vector<uint8_t> expected = {
        'R', 'I', 'F', 'F', 40,  0,   0,   0,   'W',  'A',  'V', 'E', 'f',  'm',  't',  ' ',
        16,  0,   0,   0,   1,   0,   1,   0,   0x40, 0x1F, 0,   0,   0x80, 0x3E, 0,    0,
        2,   0,   16,  0,   'd', 'a', 't', 'a', 4,    0,    0,   0,   0xFF, 0xFF, 0x34, 0x12};
    EXPECT_EQ(Written(8000, {-1, 0x1234}), expected);
}

TEST(WavWriter, SizesFollowTheSampleCount) {
    const std::vector<uint8_t> empty = Written(44100, {});
    ASSERT_EQ(empty.size(), 44u);
    EXPECT_EQ(empty[4], 36);
    EXPECT_EQ(empty[40], 0);

    const std::vector<uint8_t> note = Written(44100, std::vector<int16_t>(22050, 7));
    ASSERT_EQ(note.size(), 44144u);
    EXPECT_EQ(note[4] | note[5] << 8 | note[6] << 16, 44136);
    EXPECT_EQ(note[28] | note[29] << 8 | note[30] << 16, 88200);
    EXPECT_EQ(note[40] | note[41] << 8 | note[42] << 16, 44100);
}

TEST(WavWriter, ReportsAStreamThatRefusesBytes) {
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    std::vector<int16_t> samples(100, 1);
    EXPECT_FALSE(WriteWavHeader(full, 8000, 100));
    EXPECT_FALSE(WriteWavSampleArray(full, samples.data(), 100));
    std::fclose(full);
}

}  // namespace
}  // namespace tolvimo

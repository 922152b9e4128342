#include "wav/wav_writer.h"

#include <bit>
#include <cstring>

namespace tolvimo {
namespace {

// Little-endian serialisation into a byte array, whatever the host order.
uint8_t* PutU16(uint8_t* out, uint16_t value) {
    out[0] = static_cast<uint8_t>(value & 0xFFu);
    out[1] = static_cast<uint8_t>(value >> 8);
    return out + 2;
}

uint8_t* PutU32(uint8_t* out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) *out++ = static_cast<uint8_t>(value >> shift);
    return out;
}

uint8_t* PutTag(uint8_t* out, const char (&tag)[5]) {
    std::memcpy(out, tag, 4);
    return out + 4;
}

bool WriteAll(std::FILE* file, const uint8_t* bytes, size_t size) {
    return std::fwrite(bytes, 1, size, file) == size;
}

}  // namespace

void EncodeWavHeader(uint8_t (&header)[WAV_HEADER_SIZE], int32_t sampleRate, int32_t sampleCount) {
    // Sizes in 32-bit unsigned arithmetic: within the request limits
    // (MAX_SAMPLES at most, checked where they are set) every field fits in
    // 31 bits.
    const uint32_t dataSize = 2u * static_cast<uint32_t>(sampleCount);
    const uint32_t rate = static_cast<uint32_t>(sampleRate);
    uint8_t* at = PutTag(header, "RIFF");
    // The RIFF size counts every byte after its own 8-byte chunk header.
    at = PutU32(at, dataSize + static_cast<uint32_t>(WAV_HEADER_SIZE - 8));
    at = PutTag(at, "WAVE");
    at = PutTag(at, "fmt ");
    at = PutU32(at, 16);  // format chunk size
    at = PutU16(at, 1);   // linear PCM
    at = PutU16(at, 1);   // mono
    at = PutU32(at, rate);
    at = PutU32(at, 2u * rate);  // bytes per second
    at = PutU16(at, 2);          // bytes per sample frame
    at = PutU16(at, 16);         // bits per sample
    at = PutTag(at, "data");
    PutU32(at, dataSize);
}

bool WriteWavHeader(std::FILE* file, int32_t sampleRate, int32_t sampleCount) {
    uint8_t header[WAV_HEADER_SIZE];
    EncodeWavHeader(header, sampleRate, sampleCount);
    return WriteAll(file, header, sizeof header);
}

void EncodeWavSamples(uint8_t* out, const int16_t* samples, int32_t count) {
    if (count <= 0) return;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, samples, sizeof(int16_t) * static_cast<size_t>(count));
        return;
    }
    for (int32_t i = 0; i < count; ++i) out = PutU16(out, static_cast<uint16_t>(samples[i]));
}

bool WriteWavSampleArray(std::FILE* file, const int16_t* samples, int32_t count) {
    if (count <= 0) return true;  // an empty run may have no array
    if constexpr (std::endian::native == std::endian::little) {
        // The samples already lie in memory low byte first.
        return WriteAll(file, reinterpret_cast<const uint8_t*>(samples),
                        sizeof(int16_t) * static_cast<size_t>(count));
    }
    // Elsewhere they are serialised in blocks, so each fwrite hands the
    // stream many bytes.
    constexpr int32_t BLOCK_SAMPLES = 8192;
    uint8_t block[2 * BLOCK_SAMPLES] = {};
    for (int32_t start = 0; start < count; start += BLOCK_SAMPLES) {
        const int32_t end = count - start < BLOCK_SAMPLES ? count : start + BLOCK_SAMPLES;
        uint8_t* at = block;
        for (int32_t i = start; i < end; ++i) at = PutU16(at, static_cast<uint16_t>(samples[i]));
        if (!WriteAll(file, block, static_cast<size_t>(at - block))) return false;
    }
    return true;
}

}  // namespace tolvimo

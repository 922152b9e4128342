#include "request/note_writer.h"

#include <bit>
#include <cerrno>
#include <cstring>

#include "request/request_limits.h"
#include "wav/wav_writer.h"

namespace tolvimo {

WriteResult FailureWithErrno(OutputResult result) {
    return {result, errno, false};
}

namespace {

// False when the sink refused the bytes; errno is then the sink's.
bool Put(const ByteSink& sink, const void* bytes, size_t size) {
    errno = 0;
    return sink.put(sink.context, bytes, size) == 0;
}

// A note's samples as the format has them. WAV samples are little-endian:
// on such a host they go as they are, elsewhere through a small block.
bool PutSamples(const ByteSink& sink, MemoryFormat format, const int16_t* samples, int32_t count) {
    if (format == MemoryFormat::Samples || std::endian::native == std::endian::little) {
        return Put(sink, samples, sizeof(int16_t) * static_cast<size_t>(count));
    }
    constexpr int32_t BLOCK_SAMPLES = 2048;
    uint8_t block[2 * BLOCK_SAMPLES];
    for (int32_t done = 0; done < count; done += BLOCK_SAMPLES) {
        const int32_t part = count - done < BLOCK_SAMPLES ? count - done : BLOCK_SAMPLES;
        EncodeWavSamples(block, samples + done, part);
        if (!Put(sink, block, 2 * static_cast<size_t>(part))) return false;
    }
    return true;
}

int PutToStream(void* stream, const void* bytes, size_t size) {
    return std::fwrite(bytes, 1, size, static_cast<std::FILE*>(stream)) == size ? 0 : 1;
}

int PutToMemory(void* cursor, const void* bytes, size_t size) {
    auto& at = static_cast<MemoryCursor*>(cursor)->next;
    std::memcpy(at, bytes, size);
    at += size;
    return 0;
}

}  // namespace

int32_t TotalSamples(const RenderContext& context) {
    // At most MAX_NOTES notes of a note's samples: within 31 bits
    // (request_limits.h).
    return context.plan.count * context.noteSamples;
}

uint64_t OutputBytes(MemoryFormat format, const RenderContext& context) {
    const uint64_t header = format == MemoryFormat::WavFile ? WAV_HEADER_SIZE : 0;
    return header + sizeof(int16_t) * static_cast<uint64_t>(TotalSamples(context));
}

WriteResult WriteNotes(const ByteSink& sink, MemoryFormat format, const RenderContext& context) {
    if (format == MemoryFormat::WavFile) {
        uint8_t header[WAV_HEADER_SIZE];
        EncodeWavHeader(header, context.buffer.sampleRate, TotalSamples(context));
        if (!Put(sink, header, sizeof header)) return FailureWithErrno(OutputResult::CannotWrite);
    }
    for (int32_t k = 0; k < context.plan.count; ++k) {
        const int16_t* samples =
            RenderOrRepeatNote(context.buffer, context.rendered, context.plan.frequency[k],
                               context.plan.nextUse[k], NOTE_DURATION, context.voice);
        if (samples == nullptr) return {OutputResult::OutOfMemory};
        if (!PutSamples(sink, format, samples, context.noteSamples)) {
            return FailureWithErrno(OutputResult::CannotWrite);
        }
    }
    return {};
}

ByteSink StreamSink(std::FILE* stream) {
    return {PutToStream, stream};
}

ByteSink MemorySinkAt(MemoryCursor& cursor) {
    return {PutToMemory, &cursor};
}

WriteResult WriteNotesToStream(std::FILE* stream, const RenderContext& context) {
    const WriteResult written = WriteNotes(StreamSink(stream), MemoryFormat::WavFile, context);
    if (written.result != OutputResult::Written) return written;
    errno = 0;
    return std::fflush(stream) == 0 ? written : FailureWithErrno(OutputResult::CannotWrite);
}

OutputResult WriteNotesToMemory(MemoryFormat format, const MemorySink& sink,
                                const RenderContext& context) {
    const auto bytes = static_cast<size_t>(OutputBytes(format, context));
    auto* at = static_cast<uint8_t*>(sink.reserve(sink.context, bytes));
    // Nothing to write needs no room.
    if (at == nullptr) return bytes > 0 ? OutputResult::OutOfMemory : OutputResult::Written;
    MemoryCursor cursor{at};
    return WriteNotes(MemorySinkAt(cursor), format, context).result;
}

}  // namespace tolvimo

#include "request/note_writer.h"

#include <cerrno>
#include <cstring>

#include "platform/output_protocol.h"
#include "request/request_limits.h"
#include "wav/wav_writer.h"

namespace tolvimo {

WriteResult FailureWithErrno(OutputResult result) {
    return {result, errno, false};
}

namespace {

static_assert(WAV_HEADER_SIZE <= OUTPUT_START_LIMIT, "the header can be held back");

bool PutBytes(NoteSink& sink, const uint8_t* bytes, size_t count) {
    if (sink.stream != nullptr) return std::fwrite(bytes, 1, count, sink.stream) == count;
    std::memcpy(sink.memory, bytes, count);
    sink.memory += count;
    return true;
}

bool PutSamples(NoteSink& sink, const int16_t* samples, int32_t count) {
    if (sink.stream != nullptr) return WriteWavSampleArray(sink.stream, samples, count);
    const size_t bytes = sizeof(int16_t) * static_cast<size_t>(count);
    if (sink.wav) {
        EncodeWavSamples(sink.memory, samples, count);
    } else {
        std::memcpy(sink.memory, samples, bytes);
    }
    sink.memory += bytes;
    return true;
}

}  // namespace

int32_t TotalSamples(const RenderContext& context) {
    // At most MAX_NOTES notes of a note's samples: within 31 bits
    // (request_limits.h).
    return context.plan.count * context.noteSamples;
}

WriteResult WriteNotes(NoteSink& sink, const RenderContext& context) {
    if (sink.wav) {
        uint8_t header[WAV_HEADER_SIZE];
        EncodeWavHeader(header, context.buffer.sampleRate, TotalSamples(context));
        if (sink.file != nullptr && sink.file->startLast) {
            if (!HoldBackStart(*sink.file, header, sizeof header)) {
                return FailureWithErrno(OutputResult::CannotWrite);
            }
            std::memset(header, 0, sizeof header);
        }
        if (!PutBytes(sink, header, sizeof header))
            return FailureWithErrno(OutputResult::CannotWrite);
    }
    for (int32_t k = 0; k < context.plan.count; ++k) {
        const int16_t* samples =
            RenderOrRepeatNote(context.buffer, context.rendered, context.plan.frequency[k],
                               context.plan.nextUse[k], NOTE_DURATION, context.voice);
        if (samples == nullptr) return {OutputResult::OutOfMemory};
        if (!PutSamples(sink, samples, context.noteSamples)) {
            return FailureWithErrno(OutputResult::CannotWrite);
        }
        if (sink.file != nullptr) StartWriteback(*sink.file);
    }
    return {};
}

WriteResult WriteNotesToStream(std::FILE* stream, const RenderContext& context) {
    NoteSink sink{stream};
    const WriteResult written = WriteNotes(sink, context);
    if (written.result != OutputResult::Written) return written;
    return std::fflush(stream) == 0 ? written : FailureWithErrno(OutputResult::CannotWrite);
}

OutputResult WriteNotesToMemory(MemoryFormat format, const MemorySink& sink,
                                const RenderContext& context) {
    const bool wav = format == MemoryFormat::WavFile;
    const size_t bytes =
        (wav ? WAV_HEADER_SIZE : 0) + sizeof(int16_t) * static_cast<size_t>(TotalSamples(context));
    auto* at = static_cast<uint8_t*>(sink.reserve(sink.context, bytes));
    // Nothing to write needs no room.
    if (at == nullptr) return bytes > 0 ? OutputResult::OutOfMemory : OutputResult::Written;
    NoteSink memory{nullptr, nullptr, at, wav};
    return WriteNotes(memory, context).result;
}

}  // namespace tolvimo

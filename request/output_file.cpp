#include "request/output_file.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/output_protocol.h"
#include "request/request_limits.h"
#include "wav/wav_writer.h"

namespace tolvimo {
namespace {

constexpr size_t OUTPUT_BLOCK_BYTES = size_t{1} << 20;

// The errno of a refused write is taken at once, before anything else can
// change it.
WriteResult Refused(OutputResult result) {
    return {result, errno, false};
}

static_assert(WAV_HEADER_SIZE <= OUTPUT_START_LIMIT, "the header can be held back");

// `output`, when the stream writes a file, is told as each note is written.
// A file written in place gets zeros where its header goes, and the header
// only when the samples are on disk: cut short, it is no WAV file at all,
// rather than the new header over a mix of new and old samples.
WriteResult WriteNotes(std::FILE* stream, const RenderContext& context, PendingOutput* output) {
    uint8_t header[WAV_HEADER_SIZE];
    EncodeWavHeader(header, context.buffer.sampleRate, TotalSamples(context));
    if (output != nullptr && output->startLast) {
        std::memcpy(output->start, header, sizeof header);
        output->startBytes = sizeof header;
        std::memset(header, 0, sizeof header);
    }
    if (std::fwrite(header, 1, sizeof header, stream) != sizeof header) {
        return Refused(OutputResult::CannotWrite);
    }
    for (int32_t k = 0; k < context.plan.count; ++k) {
        const int16_t* samples =
            RenderOrRepeatNote(context.buffer, context.rendered, context.plan.frequency[k],
                               context.plan.nextUse[k], NOTE_DURATION, context.voice);
        if (samples == nullptr) return {OutputResult::OutOfMemory};
        if (!WriteWavSampleArray(stream, samples, context.noteSamples)) {
            return Refused(OutputResult::CannotWrite);
        }
        if (output != nullptr) StartWriteback(*output);
    }
    return {};
}

}  // namespace

int32_t TotalSamples(const RenderContext& context) {
    // At most 999 notes of 96000 samples: well inside 31 bits.
    return context.plan.count * context.noteSamples;
}

WriteResult WriteNotesToStream(std::FILE* stream, const RenderContext& context) {
    const WriteResult written = WriteNotes(stream, context, nullptr);
    if (written.result != OutputResult::Written) return written;
    return std::fflush(stream) == 0 ? written : Refused(OutputResult::CannotWrite);
}

WriteResult WriteOutputFile(const char* path, const TolvimoUtf16* widePath,
                            const RenderContext& context) {
    const uint64_t bytes =
        WAV_HEADER_SIZE + sizeof(int16_t) * static_cast<uint64_t>(TotalSamples(context));
    // Refused before anything is opened: a write past the limit would raise
    // SIGXFSZ, which ends a host that has not set it aside.
    if (!FitsFileSizeLimit(bytes)) return {OutputResult::CannotWrite, EFBIG, false};
    PendingOutput output{};
    errno = 0;
    const bool begun = BeginOutput(path, widePath, output);
    if (!begun) return {OutputResult::CannotOpen, errno, output.folderRefused};
    errno = 0;
    if (!ReserveOutput(output, bytes)) {
        const WriteResult refused = Refused(OutputResult::CannotWrite);
        FinishOutput(output, false);
        return refused;
    }
    // The stream hands the file whole blocks at block-aligned offsets, which
    // the page cache takes in large pieces: about half the time of
    // note-sized writes. Without the memory, the stream's own buffer serves.
    const size_t block =
        bytes < OUTPUT_BLOCK_BYTES ? static_cast<size_t>(bytes) : OUTPUT_BLOCK_BYTES;
    const std::unique_ptr<char[]> staging(new (std::nothrow) char[block]);
    if (staging != nullptr) std::setvbuf(output.stream, staging.get(), _IOFBF, block);
    const WriteResult written = WriteNotes(output.stream, context, &output);
    if (written.result != OutputResult::Written) {
        FinishOutput(output, false);
        return written;
    }
    errno = 0;
    return FinishOutput(output, true) ? written : Refused(OutputResult::CannotWrite);
}

OutputResult WriteNotesToMemory(MemoryFormat format, const MemorySink& sink,
                                const RenderContext& context) {
    const bool wav = format == MemoryFormat::WavFile;
    const int32_t sampleCount = TotalSamples(context);
    const size_t bytes =
        (wav ? WAV_HEADER_SIZE : 0) + sizeof(int16_t) * static_cast<size_t>(sampleCount);
    auto* at = static_cast<uint8_t*>(sink.reserve(sink.context, bytes));
    // Nothing to write needs no room.
    if (at == nullptr) return bytes > 0 ? OutputResult::OutOfMemory : OutputResult::Written;
    if (wav) {
        uint8_t header[WAV_HEADER_SIZE];
        EncodeWavHeader(header, context.buffer.sampleRate, sampleCount);
        std::memcpy(at, header, sizeof header);
        at += sizeof header;
    }
    const size_t noteBytes = sizeof(int16_t) * static_cast<size_t>(context.noteSamples);
    for (int32_t k = 0; k < context.plan.count; ++k, at += noteBytes) {
        const int16_t* samples =
            RenderOrRepeatNote(context.buffer, context.rendered, context.plan.frequency[k],
                               context.plan.nextUse[k], NOTE_DURATION, context.voice);
        if (samples == nullptr) return OutputResult::OutOfMemory;
        if (wav) {
            EncodeWavSamples(at, samples, context.noteSamples);
        } else {
            std::memcpy(at, samples, noteBytes);
        }
    }
    return OutputResult::Written;
}

}  // namespace tolvimo

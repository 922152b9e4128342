#include "request/output_file.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "platform/file_status.h"
#include "request/request_limits.h"
#include "wav/wav_writer.h"

namespace tolvimo {
namespace {

constexpr size_t OUTPUT_BLOCK_BYTES = size_t{1} << 20;

// `output`, when the stream writes a file, is told as each note is written.
OutputResult WriteNotes(std::FILE* stream, const NoteSource& source, PendingOutput* output) {
    if (!WriteWavHeader(stream, source.buffer.sampleRate, TotalSamples(source))) {
        return OutputResult::CannotWrite;
    }
    for (int32_t k = 0; k < source.plan.count; ++k) {
        const int16_t* samples =
            RenderOrRepeatNote(source.buffer, source.rendered, source.plan.frequency[k],
                               source.plan.nextUse[k], NOTE_DURATION, source.voice);
        if (samples == nullptr) return OutputResult::OutOfMemory;
        if (!WriteWavSampleArray(stream, samples, source.noteSamples)) {
            return OutputResult::CannotWrite;
        }
        if (output != nullptr) StartWriteback(*output);
    }
    return OutputResult::Written;
}

}  // namespace

int32_t TotalSamples(const NoteSource& source) {
    // At most 999 notes of 96000 samples: well inside 31 bits.
    return source.plan.count * source.noteSamples;
}

OutputResult WriteNotesToStream(std::FILE* stream, const NoteSource& source) {
    const OutputResult result = WriteNotes(stream, source, nullptr);
    if (result != OutputResult::Written) return result;
    return std::fflush(stream) == 0 ? result : OutputResult::CannotWrite;
}

OutputResult WriteOutputFile(const char* path, const TolvimoUtf16* widePath,
                             const NoteSource& source) {
    const uint64_t bytes =
        WAV_HEADER_SIZE + sizeof(int16_t) * static_cast<uint64_t>(TotalSamples(source));
    // Refused before anything is opened: a write past the limit would raise
    // SIGXFSZ, which ends a host that has not set it aside.
    if (!FitsFileSizeLimit(bytes)) return OutputResult::CannotWrite;
    PendingOutput output{};
#if defined(_WIN32)
    static_cast<void>(path);
    if (!BeginOutput(widePath, output)) return OutputResult::CannotOpen;
#else
    static_cast<void>(widePath);
    if (!BeginOutput(path, output)) return OutputResult::CannotOpen;
#endif
    if (!ReserveOutput(output, bytes)) {
        FinishOutput(output, false);
        return OutputResult::CannotWrite;
    }
    // The stream hands the file whole blocks at block-aligned offsets, which
    // the page cache takes in large pieces: about half the time of
    // note-sized writes. Without the memory, the stream's own buffer serves.
    const size_t block =
        bytes < OUTPUT_BLOCK_BYTES ? static_cast<size_t>(bytes) : OUTPUT_BLOCK_BYTES;
    const std::unique_ptr<char[]> staging(new (std::nothrow) char[block]);
    if (staging != nullptr) std::setvbuf(output.stream, staging.get(), _IOFBF, block);
    const OutputResult result = WriteNotes(output.stream, source, &output);
    const bool finished = FinishOutput(output, result == OutputResult::Written);
    if (result != OutputResult::Written) return result;
    return finished ? result : OutputResult::CannotWrite;
}

}  // namespace tolvimo

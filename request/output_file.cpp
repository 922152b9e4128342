#include "request/output_file.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "platform/output_protocol.h"
#include "wav/wav_writer.h"

namespace tolvimo {
namespace {

constexpr size_t OUTPUT_BLOCK_BYTES = size_t{1} << 20;

}  // namespace

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
        const WriteResult refused = FailureWithErrno(OutputResult::CannotWrite);
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
    NoteSink sink{output.stream, &output};
    const WriteResult written = WriteNotes(sink, context);
    if (written.result != OutputResult::Written) {
        FinishOutput(output, false);
        return written;
    }
    errno = 0;
    return FinishOutput(output, true) ? written : FailureWithErrno(OutputResult::CannotWrite);
}

}  // namespace tolvimo

#include "request/output_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/output_protocol.h"
#include "wav/wav_writer.h"

namespace tolvimo {
namespace {

constexpr size_t OUTPUT_BLOCK_BYTES = size_t{1} << 20;

static_assert(WAV_HEADER_SIZE <= OUTPUT_START_LIMIT, "the header can be held back");

// The file as a byte sink: its stream takes the bytes, and the file is told
// as they arrive, so that its writeback starts early.
struct FileSink {
    PendingOutput& output;
    uint64_t offset = 0;  // bytes taken so far
};

int PutToFile(void* context, const void* bytes, size_t size) {
    auto& file = *static_cast<FileSink*>(context);
    PendingOutput& output = file.output;
    const auto* at = static_cast<const unsigned char*>(bytes);
    // A file written in place gets zeros where its header goes, on disk
    // before any sample changes, and the header only when the samples are
    // on disk: cut short, it is no WAV file at all, rather than a header
    // over a mix of new and old samples. The header is the first block.
    if (output.startLast && file.offset == 0) {
        const size_t held = std::min<size_t>(size, WAV_HEADER_SIZE);
        if (!HoldBackStart(output, at, held)) return 1;
        at += held;
        size -= held;
        file.offset += held;
    }
    if (std::fwrite(at, 1, size, output.stream) != size) return 1;
    file.offset += size;
    StartWriteback(output);
    return 0;
}

}  // namespace

WriteResult WriteOutputFile(const char* path, const TolvimoUtf16* widePath,
                            const RenderContext& context) {
    const uint64_t bytes = OutputBytes(MemoryFormat::WavFile, context);
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
    FileSink file{output};
    const WriteResult written = WriteNotes({PutToFile, &file}, MemoryFormat::WavFile, context);
    if (written.result != OutputResult::Written) {
        FinishOutput(output, false);
        return written;
    }
    errno = 0;
    return FinishOutput(output, true) ? written : FailureWithErrno(OutputResult::CannotWrite);
}

}  // namespace tolvimo

#include "request/output_file.h"

#include <cstdio>

#include "platform/file_status.h"
#include "wav/wav_writer.h"

namespace tolvimo {

OutputResult WriteOutputFile(const char* path, const SampleBuffer& buffer) {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return OutputResult::CannotOpen;
    // A second descriptor outlives fclose, so a write that fails, even in the
    // close, is undone on the file that was opened, whatever the path names.
    const int kept = DuplicateDescriptor(file);
    bool written = kept >= 0 && WriteWavHeader(file, buffer.sampleRate, buffer.count) &&
                   WriteWavSamples(file, buffer) && std::fflush(file) == 0;
    // Closing can still report a deferred write error, so it counts too.
    written = (std::fclose(file) == 0) && written;
    if (written) {
        CloseDescriptor(kept);
        return OutputResult::Written;
    }
    if (kept >= 0) DiscardIncompleteFile(path, kept);
    return OutputResult::CannotWrite;
}

}  // namespace tolvimo

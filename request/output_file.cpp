#include "request/output_file.h"

#include <cstdio>

#include "platform/file_status.h"
#include "wav/wav_writer.h"

namespace tolvimo {

OutputResult WriteOutputFile(const char* path, const SampleBuffer& buffer) {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return OutputResult::CannotOpen;
    const bool regular = IsRegularFile(file);
    bool written = WriteWavHeader(file, buffer.sampleRate, buffer.count) &&
                   WriteWavSamples(file, buffer) && std::fflush(file) == 0;
    // Closing can still report a deferred write error, so it counts too.
    written = (std::fclose(file) == 0) && written;
    if (written) return OutputResult::Written;
    if (regular) std::remove(path);
    return OutputResult::CannotWrite;
}

}  // namespace tolvimo

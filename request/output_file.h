// Writing a rendered buffer to its WAV file.
#pragma once

#include "synthesis/sample_buffer.h"

namespace tolvimo {

enum class OutputResult { Written, CannotOpen, CannotWrite };

// Creates or truncates `path` and writes the buffer as a WAV file. A write,
// flush or close that fails yields CannotWrite, and the incomplete file is
// removed when it is a regular file (a device is never removed).
OutputResult WriteOutputFile(const char* path, const SampleBuffer& buffer);

}  // namespace tolvimo

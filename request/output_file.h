// Writing a rendered buffer to its WAV file.
#pragma once

#include "synthesis/sample_buffer.h"

namespace tolvimo {

enum class OutputResult { Written, CannotOpen, CannotWrite };

// Creates or truncates `path` and writes the buffer as a WAV file. A write,
// flush or close that fails yields CannotWrite and leaves no fragment under
// any name: the file that was opened is emptied, and removed when `path`
// was its only name (see DiscardIncompleteFile). Devices are left alone.
OutputResult WriteOutputFile(const char* path, const SampleBuffer& buffer);

}  // namespace tolvimo

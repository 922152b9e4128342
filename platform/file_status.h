// Questions about open files that the C standard library cannot answer.
#pragma once

#include <cstdio>

namespace tolvimo {

// True when `file` is a regular file, the only kind that may be removed
// after a failed write (never a device or a pipe).
bool IsRegularFile(std::FILE* file);

}  // namespace tolvimo

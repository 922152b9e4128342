// What the C standard library cannot do with an open output file: keep a
// handle on it past fclose, and undo a failed write on that very file.
#pragma once

#include <cstdio>

namespace tolvimo {

// A second descriptor of `file`'s open file, which outlives fclose; -1 when
// none can be had.
int DuplicateDescriptor(std::FILE* file);

void CloseDescriptor(int descriptor);

// Undoes a failed write to `path`, whose open file is `descriptor` (closed
// here). A regular file is truncated to zero bytes through the descriptor,
// so no name of it keeps a fragment; it is then removed when `path` itself
// names that file (not a symbolic link to it) and it has no other name.
// Anything else, a device or a pipe, is left alone.
void DiscardIncompleteFile(const char* path, int descriptor);

}  // namespace tolvimo

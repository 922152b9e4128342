// The lines a request prints, worded from its outcome: the three lines of
// a written file, or the one "Error: " line of a refusal. Nothing else
// words them.
#pragma once

#include <cstdio>
#include <string>

#include "request/outcome.h"

namespace tolvimo {

// Prints the outcome's lines on `stream`. An argument longer than its
// working buffer is quoted whole from the caller's text, converted a piece
// at a time, so printing takes no more memory than a short one does.
// Returns false when memory runs out partway (the line is then cut short).
bool PrintLines(std::FILE* stream, const Outcome& outcome);

// The same lines, byte for byte, as text ending in a line feed. Throws
// std::bad_alloc when memory runs out.
std::string LibraryLines(const Outcome& outcome);

// The one line of a refusal that quotes nothing of the request (a null
// pointer, an unknown format, a shortage of memory), without its line
// feed; nullptr for any other kind. Needs no memory to give.
const char* FixedLine(RefusalKind refusal);

}  // namespace tolvimo

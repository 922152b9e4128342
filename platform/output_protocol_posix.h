// What the POSIX side's opening and finishing of an output file share.
#pragma once

#include "platform/output_protocol.h"

namespace tolvimo {

// Names tried for a new file before giving up: each is created only if
// free, so a clash just moves on to the next.
constexpr int NAME_ATTEMPTS = 64;

// A hidden name for the new file beside the destination,
// ".NAME.tolvimo-XXXXXXXX", with NAME cut short where the whole would pass
// the directory's longest name; `attempt` varies the X's.
void TemporaryName(const PendingOutput& output, int attempt, char (&temporary)[OUTPUT_PATH_LIMIT]);

}  // namespace tolvimo

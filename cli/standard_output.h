// OUTPUT "-": the WAV bytes on standard output, the report on standard error.
#pragma once

#include <cstdint>

#include "cli/utf16_arguments.h"

namespace tolvimo_cli {

struct StreamedRequest {
    int32_t status;       // the library's status
    bool standardOutput;  // false: standard output refused a byte
};

// Renders the request straight onto standard output, note by note, through
// the library's stream entry: nothing is written to disk and nothing is left
// behind whatever signal ends the process. The report goes to standard
// error and names the output "-", as the user did.
StreamedRequest RenderToStandardOutput(const Utf16String& instrument, const Utf16String& notes,
                                       int32_t sampleRate);

}  // namespace tolvimo_cli

// OUTPUT "-": the WAV bytes on standard output, the report on standard error.
#pragma once

#include <cstdint>

#include "cli/utf16_arguments.h"

namespace tolvimo_cli {

struct StreamedRequest {
    bool started;    // false: no private temporary file could be made
    int32_t status;  // the library's status, when started
    bool streamed;   // every byte of the file reached standard output
};

// The library writes only to paths, and a pipe cannot be rewound, so the
// request renders into a file in a private temporary folder whose bytes are
// then copied to standard output; the folder is removed afterwards. The
// report the library prints goes to standard error instead, with the
// temporary path shown as "-", the name the user gave.
StreamedRequest RenderToStandardOutput(const Utf16String& instrument, const Utf16String& notes,
                                       int32_t sampleRate);

}  // namespace tolvimo_cli

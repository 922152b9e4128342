// Writing a request's notes as a named WAV file.
#pragma once

#include "TolvimoWAVInstruments.h"

#include "request/note_writer.h"

namespace tolvimo {

// Writes the file at `path` so that a failure leaves every file as it was
// (see platform/output_protocol.h). `widePath` is the caller's own name of it,
// which Windows opens; `path` is its 8-bit spelling.
WriteResult WriteOutputFile(const char* path, const TolvimoUtf16* widePath,
                            const RenderContext& context);

}  // namespace tolvimo

#include "cli/standard_output.h"

#include <cstdio>

#include "request/stream_request.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace tolvimo_cli {

StreamedRequest RenderToStandardOutput(const Utf16String& instrument, const Utf16String& notes,
                                       int32_t sampleRate) {
#if defined(_WIN32)
    // Text mode would turn every byte 10 into 13 10.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const int32_t status = tolvimo::RenderRequestToStream(instrument.c_str(), notes.c_str(),
                                                          sampleRate, stdout, stderr, "-");
    return {status, std::ferror(stdout) == 0};
}

}  // namespace tolvimo_cli

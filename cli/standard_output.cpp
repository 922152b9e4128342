#include "cli/standard_output.h"

#include <cstdio>
#include <string_view>
#include <utility>

#include "request/render_entry.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tolvimo_cli {

bool NamesStandardOutput(const char* output) {
    const std::string_view name = output;
    if (name == "-") return true;
#if defined(_WIN32)
    return false;
#else
    if (name == "/dev/stdout" || name == "/proc/self/fd/1" || name == "/dev/fd/1") return true;
    struct stat named {};
    struct stat standard {};
    return stat(output, &named) == 0 && fstat(STDOUT_FILENO, &standard) == 0 &&
           named.st_dev == standard.st_dev && named.st_ino == standard.st_ino;
#endif
}

bool StandardOutputIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

StreamedRequest RenderToStandardOutput(const Utf16String& instrument, const Utf16String& notes,
                                       int32_t sampleRate, const char* shownName) {
#if defined(_WIN32)
    // Text mode would turn every byte 10 into 13 10.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    tolvimo::Outcome outcome =
        tolvimo::RenderToStream(instrument.c_str(), notes.c_str(), sampleRate, stdout, shownName);
    const bool written = std::ferror(stdout) == 0;
    return {std::move(outcome), written};
}

}  // namespace tolvimo_cli

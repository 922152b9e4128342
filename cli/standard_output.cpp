#include "cli/standard_output.h"

#include <cstdio>
#include <string_view>

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

namespace {

// Each block goes out at once, so a failed write is the render's, with its
// errno, and the reader gets every note as soon as it is rendered.
int PutToStandardOutput(void*, const void* bytes, size_t size) {
    if (std::fwrite(bytes, 1, size, stdout) != size) return 1;
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

StreamedRequest RenderToStandardOutput(const std::string& instrument, const std::string& notes,
                                       int32_t sampleRate, const char* shownName) {
#if defined(_WIN32)
    // Text mode would turn every byte 10 into 13 10.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    StreamedRequest result{};
    TolvimoRenderToSink(instrument.c_str(), notes.c_str(), sampleRate, TOLVIMO_FORMAT_WAV,
                        PutToStandardOutput, nullptr, &result.outcome);
    result.outcome.output = shownName;
    result.standardOutput = std::ferror(stdout) == 0;
    return result;
}

}  // namespace tolvimo_cli

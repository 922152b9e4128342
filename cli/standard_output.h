// OUTPUT "-", or a name for the file standard output already is: the WAV
// bytes on standard output, the report on standard error.
#pragma once

#include <cstdint>
#include <string>

#include "TolvimoWAVInstruments.h"

namespace tolvimo_cli {

struct StreamedRequest {
    TolvimoOutcome outcome;
    bool standardOutput;  // false: standard output refused a byte
};

// True for "-", and for a name of the open file standard output refers to
// ("/dev/stdout", "/proc/self/fd/1", or any path to the same file), which
// a named write would fill with the report as well as the WAV bytes.
bool NamesStandardOutput(const char* output);

// True when standard output is a terminal, where WAV bytes are only noise.
bool StandardOutputIsTerminal();

// Renders the request straight onto standard output, note by note, through
// the library's sink: nothing is written to disk and nothing is left behind
// whatever signal ends the process. The outcome names the output
// `shownName`, as the user did.
StreamedRequest RenderToStandardOutput(const std::string& instrument, const std::string& notes,
                                       int32_t sampleRate, const char* shownName);

}  // namespace tolvimo_cli

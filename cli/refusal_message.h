// Turning a refusal into a message a person can act on: the library's
// description of it, with the program's own framing: SAMPLE_RATE as typed,
// and a reason that is standard output's said to be.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "TolvimoWAVInstruments.h"

namespace tolvimo_cli {

// The library's description of `outcome` (TolvimoDescribe), a line at a
// time, without the program's name. `sampleRate` is SAMPLE_RATE as typed;
// `streamed`: OUTPUT is standard output.
std::vector<std::string> DescribedLines(const TolvimoOutcome& outcome, std::string_view sampleRate,
                                        bool streamed);

}  // namespace tolvimo_cli

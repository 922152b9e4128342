// Turning a refusal into a message a person can act on: the library's line
// word for word, then what it points at and what to do about it, all from
// the request's outcome.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "request/outcome.h"

namespace tolvimo_cli {

// The message's lines, without the program's name: the first is the
// library's line, with the reason appended where one is known.
// `sampleRate` is SAMPLE_RATE as typed; `streamed`: OUTPUT is standard output.
std::vector<std::string> ExplainRefusal(const tolvimo::Outcome& outcome,
                                        std::string_view sampleRate, bool streamed);

}  // namespace tolvimo_cli

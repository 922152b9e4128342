#include "cli/refusal_message.h"

#include <cstring>

namespace tolvimo_cli {
namespace {

// `line` with `from` at its end replaced by `to`.
void ReplaceEnd(std::string& line, const std::string& from, const std::string& to) {
    if (line.size() >= from.size() &&
        line.compare(line.size() - from.size(), from.size(), from) == 0)
        line.replace(line.size() - from.size(), from.size(), to);
}

}  // namespace

std::vector<std::string> DescribedLines(const TolvimoOutcome& outcome, std::string_view sampleRate,
                                        bool streamed) {
    std::string text(TolvimoDescribe(&outcome, nullptr, 0), '\0');
    TolvimoDescribe(&outcome, text.data(), text.size() + 1);
    std::vector<std::string> lines;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::string& first = lines.front();
    // The library gives the rate it was given, which the program clamped to
    // 32 bits; the person is shown what they typed.
    if (outcome.refusal == TOLVIMO_REFUSAL_BAD_SAMPLE_RATE) {
        ReplaceEnd(first, "(SAMPLE_RATE is " + std::to_string(outcome.sampleRate) + ")",
                   "(SAMPLE_RATE is " + std::string(sampleRate) + ")");
    }
    // The reason for standard output is said to be standard output's.
    const bool output = outcome.refusal == TOLVIMO_REFUSAL_CANNOT_OPEN ||
                        outcome.refusal == TOLVIMO_REFUSAL_CANNOT_WRITE;
    std::string named = "'";
    named.append(outcome.output != nullptr ? outcome.output : "").append("' (");
    const size_t reason = first.rfind(named);
    if (streamed && output && reason != std::string::npos) {
        const std::string_view prefix = "standard output: ";
        first.replace(reason + named.size(), 0, prefix.data(), prefix.size());
    }
    return lines;
}

}  // namespace tolvimo_cli

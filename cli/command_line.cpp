#include "cli/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

namespace tolvimo_cli {
namespace {

// Accepts an optionally signed decimal integer and nothing else. Values
// beyond 32 bits are clamped: they are out of range either way.
bool ParseSampleRate(const char* text, int32_t& rate) {
    const bool signedOrDigit = (*text >= '0' && *text <= '9') || *text == '-' || *text == '+';
    if (!signedOrDigit) return false;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (*end != '\0' || end == text) return false;
    if (errno == ERANGE || value > std::numeric_limits<int32_t>::max()) {
        rate =
            value < 0 ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
    } else if (value < std::numeric_limits<int32_t>::min()) {
        rate = std::numeric_limits<int32_t>::min();
    } else {
        rate = static_cast<int32_t>(value);
    }
    return true;
}

// "-" names standard output and "-8000" is a (bad) sample rate: both are
// arguments.
bool IsOption(std::string_view argument) {
    return argument.size() > 1 && argument[0] == '-' && !(argument[1] >= '0' && argument[1] <= '9');
}

const char* OptionName(Action action) {
    switch (action) {
        case Action::Version: return "--version";
        case Action::List: return "--list";
        default: return "--help";
    }
}

// "44100.0": a whole number written with a decimal point, its digits
// before the point given back; empty for anything else.
std::string WholeWithPoint(std::string_view text) {
    const auto point = text.find('.');
    if (point == std::string_view::npos || point == 0) return {};
    const auto digits = std::string_view("0123456789");
    if (text.substr(0, point).find_first_not_of(digits) != std::string_view::npos) return {};
    if (text.substr(point + 1).find_first_not_of('0') != std::string_view::npos) return {};
    const auto first = text.find_first_not_of('0');
    return first >= point ? "0" : std::string(text.substr(first, point - first));
}

}  // namespace

std::string Quoted(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            quoted.push_back(c);
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\t') {
            quoted += "\\t";
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(byte));
            quoted += escaped;
        }
    }
    return quoted + "'";
}

CommandLine ReadCommandLine(int argc, char** argv) {
    CommandLine line;
    std::vector<int> arguments;
    bool help = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (optionsEnded || !IsOption(argument)) {
            arguments.push_back(i);
            continue;
        }
        Action action = Action::Render;
        if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-h" || argument == "--help") {
            help = true;
        } else if (argument == "-q" || argument == "--quiet") {
            line.quiet = true;
        } else if (argument == "--version") {
            action = Action::Version;
        } else if (argument == "--list") {
            action = Action::List;
        } else if (line.problem.empty()) {
            line.problem = "unknown option " + Quoted(argument);
        }
        if (action == Action::Render) continue;
        if (line.action != Action::Render && line.action != action && line.problem.empty()) {
            line.problem = std::string(OptionName(line.action)) + " and " + OptionName(action) +
                           " cannot be used together";
        }
        line.action = action;
    }
    if (help) {
        line.action = Action::Help;
        line.problem.clear();
        return line;
    }
    if (!line.problem.empty()) return line;
    if (line.action != Action::Render) {
        if (!arguments.empty()) {
            line.problem = std::string(OptionName(line.action)) + " takes no arguments, got " +
                           std::to_string(arguments.size());
        }
        return line;
    }
    if (arguments.size() != 4) {
        line.problem = "expected 4 arguments (INSTRUMENT NOTES SAMPLE_RATE OUTPUT), got " +
                       std::to_string(arguments.size());
        return line;
    }
    line.at = {arguments[0], arguments[1], arguments[2], arguments[3]};
    const char* rate = argv[line.at.sampleRate];
    if (!ParseSampleRate(rate, line.sampleRate)) {
        const std::string whole = WholeWithPoint(rate);
        line.problem = "SAMPLE_RATE " + Quoted(rate) +
                       (whole.empty() ? " is not a whole number of Hz (for example 44100)"
                                      : " is a whole number written with a decimal point; write " +
                                            whole + " without it");
    }
    return line;
}

}  // namespace tolvimo_cli

// Reading the command line: options, the four arguments, and what is wrong
// with them in words a person can act on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvimo_cli {

enum class Action { Render, Help, Version, List };

// Where each of the four arguments is in argv, so that on Windows the wide
// command line can be read at the same places.
struct Positions {
    int instrument = 0;
    int notes = 0;
    int sampleRate = 0;
    int output = 0;
};

struct CommandLine {
    Action action = Action::Render;
    bool quiet = false;
    Positions at;
    int32_t sampleRate = 0;  // clamped to 32 bits: out of range either way
    std::string problem;     // not empty: a usage error, said without the program's name
};

// Options may come anywhere before "--"; "-" and a negative number are
// arguments, not options. --help wins over everything else.
CommandLine ReadCommandLine(int argc, char** argv);

// `text` between single quotes, with control characters spelled out, so a
// message stays one visible line.
std::string Quoted(std::string_view text);

}  // namespace tolvimo_cli

// Running the command-line host from a test: its exit status, standard
// output and standard error, apart.
#pragma once

#include <string>

namespace tolvimo_test {

struct CliRun {
    int exitStatus;      // -1: ended by a signal
    std::string output;  // standard output
    std::string errors;  // standard error
};

// Runs `arguments` (shell words) after the program's path, with
// `redirections` applied to it; standard error is caught unless redirected.
CliRun RunCli(const std::string& arguments, const std::string& redirections = "");

// Runs a shell command; output is its standard output, errors stay empty.
CliRun RunShell(const std::string& command);

// Runs the program with standard output a pipe whose reading end is
// already closed.
CliRun RunCliIntoClosedPipe(const std::string& arguments);

}  // namespace tolvimo_test

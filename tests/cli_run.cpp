#include "cli_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "test_support.h"

namespace tolvimo_test {
namespace {

int ExitStatusOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

CliRun RunShell(const std::string& command) {
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    for (int c = std::fgetc(pipe); c != EOF; c = std::fgetc(pipe))
        output.push_back(static_cast<char>(c));
    return {ExitStatusOf(pclose(pipe)), output, {}};
}

CliRun RunCli(const std::string& arguments, const std::string& redirections) {
    TempDir dir;
    const std::string errors = dir.Path("stderr");
    CliRun run = RunShell(std::string(WAVINSTRUMENTS_PATH) + " " + arguments + " 2>" + errors +
                          " " + redirections);
    run.errors = ReadText(errors);
    return run;
}

CliRun RunCliIntoClosedPipe(const std::string& arguments) {
    TempDir dir;
    const std::string errors = dir.Path("stderr");
    const std::string command = std::string(WAVINSTRUMENTS_PATH) + " " + arguments + " 2>" + errors;
    int ends[2];
    if (pipe(ends) != 0) return {-1, {}, {}};
    close(ends[0]);
    const pid_t child = fork();
    if (child == 0) {
        dup2(ends[1], STDOUT_FILENO);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ends[1]);
    int status = 0;
    waitpid(child, &status, 0);
    return {ExitStatusOf(status), {}, ReadText(errors)};
}

}  // namespace tolvimo_test

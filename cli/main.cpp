// wavinstruments: renders note text to a WAV file from the shell.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <system_error>

// The program renders through the library's public functions, which
// return the request's outcome for the program to word and place.
#include "TolvimoWAVInstruments.h"
#include "cli/command_line.h"
#include "cli/refusal_message.h"
#include "cli/standard_output.h"
#include "cli/utf8_arguments.h"
#include "tolvimo_version.h"

namespace {

// Exit statuses; 0 is a written file.
constexpr int EXIT_NOT_WRITTEN = 1;  // bad note, unusable path, write failure, no memory
constexpr int EXIT_USAGE = 2;        // wrong arguments
constexpr int EXIT_UNKNOWN_INSTRUMENT = 3;
constexpr int EXIT_BAD_SAMPLE_RATE = 4;
constexpr int EXIT_UNEXPECTED_STATUS = 5;
constexpr int EXIT_STDOUT_FAILED = 6;  // standard output could not be written

constexpr const char* PREFIX = "wavinstruments: ";

void PrintHelp() {
    std::printf(
        "usage: wavinstruments [-q] [--] INSTRUMENT NOTES SAMPLE_RATE OUTPUT\n"
        "       wavinstruments -h | --help | --version | --list\n"
        "\n"
        "Renders NOTES (for example \"CDEFG\" or \"C#4Bb3\"; each note lasts 0.5 s)\n"
        "with INSTRUMENT at SAMPLE_RATE Hz (%d to %d) into the mono 16-bit\n"
        "WAV file OUTPUT, and prints a three-line report on standard output.\n"
        "OUTPUT - (or /dev/stdout, or any name of the file standard output is)\n"
        "writes the WAV to standard output, which must not be a terminal, and\n"
        "the report to standard error. Errors go to standard error.\n"
        "\n"
        "A note is a letter A to G (upper case), then optionally # or b, an\n"
        "octave digit 0 to 8 (default 4) and, after the digit, one more # or b.\n"
        "Notes follow one another with nothing between them.\n"
        "\n"
        "  -q, --quiet  print nothing when the file is written\n"
        "  --           end of options: what follows is an argument\n"
        "  -h, --help   show this text\n"
        "  --version    print the library version\n"
        "  --list       print the instrument names, one a line\n"
        "\n"
        "Exit status:\n"
        "  0  the file was written\n"
        "  1  not written: a character starts no note, the note text is too long,\n"
        "     the output cannot be opened or written, or memory ran out\n"
        "  2  wrong arguments (the message names the argument)\n"
        "  3  unknown instrument\n"
        "  4  sample rate out of range\n"
        "  5  the library returned an unexpected status\n"
        "  6  standard output could not be written (a full disk, a closed pipe,\n"
        "     a file size limit)\n",
        TOLVIMO_MIN_SAMPLE_RATE, TOLVIMO_MAX_SAMPLE_RATE);
}

// The program's own allocations (its arguments' text, its messages) that
// fail end it with the library's line for a shortage, exit 1: where memory
// is that short, the exception that would report it may not be made either,
// and the program would abort.
[[noreturn]] void OutOfMemory() {
    TolvimoOutcome shortage{};
    shortage.status = TOLVIMO_STATUS_FAILED;
    shortage.refusal = TOLVIMO_REFUSAL_OUT_OF_MEMORY;
    // The library words a shortage without taking memory.
    char line[128];
    TolvimoDescribe(&shortage, line, sizeof line);
    std::fprintf(stderr, "%s%s\n", PREFIX, line);
    std::fflush(stdout);
    std::_Exit(EXIT_NOT_WRITTEN);
}

// The library reports its own shortages and cleans up after them, so while
// it runs a failed allocation is its to handle.
class LibraryAllocations {
public:
    LibraryAllocations() : program_(std::set_new_handler(nullptr)) {}
    ~LibraryAllocations() { std::set_new_handler(program_); }
    LibraryAllocations(const LibraryAllocations&) = delete;
    LibraryAllocations& operator=(const LibraryAllocations&) = delete;

private:
    std::new_handler program_;
};

int UsageError(const std::string& problem) {
    std::fprintf(stderr, "%s%s\nTry 'wavinstruments --help'.\n", PREFIX, problem.c_str());
    return EXIT_USAGE;
}

int ExitStatusFor(int32_t status) {
    switch (status) {
        case TOLVIMO_STATUS_CREATED: return 0;
        case TOLVIMO_STATUS_FAILED: return EXIT_NOT_WRITTEN;
        case TOLVIMO_STATUS_UNKNOWN_INSTRUMENT: return EXIT_UNKNOWN_INSTRUMENT;
        case TOLVIMO_STATUS_BAD_SAMPLE_RATE: return EXIT_BAD_SAMPLE_RATE;
        default: return EXIT_UNEXPECTED_STATUS;
    }
}

// The lines of a finished request, each where it belongs.
void ShowLines(const TolvimoOutcome& outcome, const char* sampleRate, bool streamed, bool quiet) {
    auto lines = tolvimo_cli::DescribedLines(outcome, sampleRate, streamed);
    for (auto& line : lines) line = tolvimo_cli::ConsoleText(line);
    if (outcome.status == TOLVIMO_STATUS_CREATED) {
        if (quiet) return;
        std::string report;
        for (const auto& line : lines) report += line + "\n";
        // One write, as the library's own report is.
        std::fputs(report.c_str(), streamed ? stderr : stdout);
        return;
    }
    for (const auto& line : lines) std::fprintf(stderr, "%s%s\n", PREFIX, line.c_str());
}

int Render(const tolvimo_cli::CommandLine& line, char** argv) {
    const char* output = argv[line.at.output];
#if !defined(_WIN32)
    // Decoding would turn each invalid byte into U+FFFD, so two different
    // names could write the same file, one the user never named.
    if (!tolvimo_cli::IsValidUtf8(output)) {
        return UsageError("OUTPUT " + tolvimo_cli::Quoted(output) +
                          " is not valid UTF-8; name the file in UTF-8");
    }
#endif
    // A file standard output already is gets the WAV through standard output,
    // as "-" does: written by name, it would be replaced under the open
    // descriptor, or get the report written after the WAV bytes.
    const bool streamed = tolvimo_cli::NamesStandardOutput(output);
    if (streamed && tolvimo_cli::StandardOutputIsTerminal()) {
        std::fprintf(stderr,
                     "%sOUTPUT %s is standard output, a terminal; redirect it to a file "
                     "(> song.wav) or pipe it to a player\n",
                     PREFIX, tolvimo_cli::Quoted(output).c_str());
        return EXIT_USAGE;
    }
    const auto instrument = tolvimo_cli::Utf8Argument(argv, line.at.instrument);
    const auto notes = tolvimo_cli::Utf8Argument(argv, line.at.notes);
    const auto path = tolvimo_cli::Utf8Argument(argv, line.at.output);
    tolvimo_cli::StreamedRequest result = [&] {
        const LibraryAllocations library;
        if (streamed) {
            return tolvimo_cli::RenderToStandardOutput(instrument, notes, line.sampleRate, output);
        }
        tolvimo_cli::StreamedRequest named{{}, true};
        TolvimoRenderFile(instrument.c_str(), notes.c_str(), line.sampleRate, path.c_str(),
                          &named.outcome);
        return named;
    }();
    const bool standardOutput = result.standardOutput;
    const int32_t status = result.outcome.status;
    ShowLines(result.outcome, argv[line.at.sampleRate], streamed, line.quiet);
    if (status == TOLVIMO_STATUS_CREATED && notes.empty() && !line.quiet) {
        std::fprintf(stderr, "%swarning: NOTES is empty; the file holds no samples\n", PREFIX);
    }
    if (!standardOutput) return EXIT_STDOUT_FAILED;
    return ExitStatusFor(status);
}

int Run(int argc, char** argv) {
    const tolvimo_cli::CommandLine line = tolvimo_cli::ReadCommandLine(argc, argv);
    if (!line.problem.empty()) return UsageError(line.problem);
    switch (line.action) {
        case tolvimo_cli::Action::Help: PrintHelp(); return 0;
        case tolvimo_cli::Action::Version: std::printf("%s\n", TOLVIMO_VERSION_TEXT); return 0;
        case tolvimo_cli::Action::List:
            for (int32_t voice = 0; TolvimoVoiceName(voice) != nullptr; ++voice)
                std::printf("%s\n", TolvimoVoiceName(voice));
            return 0;
        case tolvimo_cli::Action::Render: break;
    }
    return Render(line, argv);
}

}  // namespace

int main(int argc, char** argv) {
#if defined(SIGXFSZ)
    // Past a file size limit a write then fails and the request reports it
    // and exits 1, leaving every file as it was, instead of being killed.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
#if defined(SIGPIPE)
    // A reader that stops early makes the write fail: the program says so
    // and exits 6, the one way a standard output failure ends.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    std::set_new_handler(OutOfMemory);
    const int status = Run(argc, argv);
    if (status == EXIT_STDOUT_FAILED) return status;  // already said, with the library's line
    // The report or listing could not be written (a full disk, a closed pipe):
    // a failure even when the file itself was written.
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        const std::string why = errno != 0 ? ": " + std::generic_category().message(errno) : "";
        std::fprintf(stderr, "%scannot write to standard output%s\n", PREFIX, why.c_str());
        return status == 0 ? EXIT_STDOUT_FAILED : status;
    }
    return status;
}

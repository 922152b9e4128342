// wavinstruments: renders note text to a WAV file from the shell.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

#include "TolvimoWAVInstruments.h"
#include "cli/standard_output.h"
#include "cli/utf16_arguments.h"
// Compile-time facts of the library, read at build time. The program calls
// the exported function, and for OUTPUT "-" the stream entry beside it.
#include "request/request_limits.h"
#include "synthesis/preset_table.h"
#include "tolvimo_version.h"

namespace {

// Exit statuses; 0 is a written file.
constexpr int EXIT_NOT_WRITTEN = 1;  // bad note, unusable path, write failure, no memory
constexpr int EXIT_USAGE = 2;        // wrong arguments
constexpr int EXIT_UNKNOWN_INSTRUMENT = 3;
constexpr int EXIT_BAD_SAMPLE_RATE = 4;
constexpr int EXIT_UNEXPECTED_STATUS = 5;
constexpr int EXIT_STDOUT_FAILED = 6;  // standard output could not be written

constexpr const char* USAGE = "usage: wavinstruments INSTRUMENT NOTES SAMPLE_RATE OUTPUT\n";

void PrintHelp() {
    std::printf(
        "%s"
        "       wavinstruments --help | --version | --list\n"
        "\n"
        "Renders NOTES (for example \"CDEFG\" or \"C#4Bb3\"; each note lasts 0.5 s)\n"
        "with INSTRUMENT at SAMPLE_RATE Hz (%d to %d) into the mono 16-bit\n"
        "WAV file OUTPUT, and prints a report. OUTPUT - writes the WAV to standard\n"
        "output and the report to standard error.\n"
        "\n"
        "  --help     show this text\n"
        "  --version  print the library version\n"
        "  --list     print the instrument names, one a line\n"
        "\n"
        "Exit status:\n"
        "  0  the file was written\n"
        "  1  not written: a character starts no note, the output cannot be opened\n"
        "     or written, or memory ran out\n"
        "  2  wrong arguments\n"
        "  3  unknown instrument\n"
        "  4  sample rate out of range\n"
        "  5  the library returned an unexpected status\n"
        "  6  standard output could not be written\n",
        USAGE, static_cast<int>(tolvimo::MIN_SAMPLE_RATE),
        static_cast<int>(tolvimo::MAX_SAMPLE_RATE));
}

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

int ExitStatusFor(int32_t status) {
    switch (status) {
        case TOLVIMO_STATUS_CREATED: return 0;
        case TOLVIMO_STATUS_FAILED: return EXIT_NOT_WRITTEN;
        case TOLVIMO_STATUS_UNKNOWN_INSTRUMENT: return EXIT_UNKNOWN_INSTRUMENT;
        case TOLVIMO_STATUS_BAD_SAMPLE_RATE: return EXIT_BAD_SAMPLE_RATE;
        default: return EXIT_UNEXPECTED_STATUS;
    }
}

// What a request exits with; OUTPUT "-" streams the file to standard output.
int Run(int argc, char** argv) {
    if (argc == 2) {
        const std::string_view option = argv[1];
        if (option == "--help" || option == "-h") {
            PrintHelp();
            return 0;
        }
        if (option == "--version") {
            std::printf("%s\n", TOLVIMO_VERSION_TEXT);
            return 0;
        }
        if (option == "--list") {
            for (const auto& preset : tolvimo::PRESETS) std::printf("%s\n", preset.name);
            return 0;
        }
    }
    int32_t sampleRate = 0;
    if (argc != 5 || !ParseSampleRate(argv[3], sampleRate)) {
        std::fputs(USAGE, stderr);
        return EXIT_USAGE;
    }
#if !defined(_WIN32)
    // Decoding would turn each invalid byte into U+FFFD, so two different
    // names could write the same file, one the user never named.
    if (!tolvimo_cli::IsValidUtf8(argv[4])) {
        std::fputs("wavinstruments: OUTPUT is not valid UTF-8; name the file in UTF-8\n", stderr);
        return EXIT_USAGE;
    }
#endif
    const auto instrument = tolvimo_cli::Utf16Argument(argv, 1);
    const auto notes = tolvimo_cli::Utf16Argument(argv, 2);
    if (std::string_view(argv[4]) == "-") {
        const auto streamed = tolvimo_cli::RenderToStandardOutput(instrument, notes, sampleRate);
        // Reported when main checks standard output.
        if (!streamed.standardOutput) return EXIT_STDOUT_FAILED;
        return ExitStatusFor(streamed.status);
    }
    const auto output = tolvimo_cli::Utf16Argument(argv, 4);
    return ExitStatusFor(
        WAVInstruments(instrument.c_str(), notes.c_str(), sampleRate, output.c_str()));
}

}  // namespace

int main(int argc, char** argv) {
#if defined(SIGXFSZ)
    // Past a file size limit a write then fails and the request reports it
    // and exits 1, leaving every file as it was, instead of being killed.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const int status = Run(argc, argv);
    // Output that could not be written (a full disk, a closed pipe) is a
    // failure even when the request itself succeeded.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || status == EXIT_STDOUT_FAILED) {
        std::fputs("wavinstruments: cannot write to standard output\n", stderr);
        return status == 0 ? EXIT_STDOUT_FAILED : status;
    }
    return status;
}

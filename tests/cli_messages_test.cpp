// What the command-line host says for each thing a person can get wrong:
// one message on standard error, the library's own line word for word in
// it, what was wrong and what to do.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "cli_run.h"
#include "request/request_limits.h"
#include "synthesis/preset_table.h"
#include "test_support.h"

namespace tolvimo_test {
namespace {

const std::string TRY = "Try 'wavinstruments --help'.\n";
const std::string NOTE_SYNTAX =
    "a note is a letter A to G, then optionally # or b, an octave digit 0 to 8 and, after the "
    "digit, one more # or b";

// What note text is, as the hints for a space, a rest, a length or a chord say.
const std::string PLAIN =
    "note text is notes only: every note lasts 0.5 s, one after another, with no rests, lengths "
    "or chords\n";
const std::string BETWEEN = "write the notes with nothing between them, as in 'C4D4E4'; ";

struct Case {
    std::string arguments;  // after the program's path, in a fresh folder
    int exitStatus;
    std::string output;  // standard output, exactly
    std::string errors;  // standard error, exactly
};

std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The case's own redirections come after the ones that catch the output,
// so they win.
void Check(const Case& c) {
    TempDir dir;
    std::filesystem::create_directory(dir.Path("folder"));
    const CliRun run = RunShell("cd " + dir.Path("") + " && " + WAVINSTRUMENTS_PATH +
                                " >stdout.txt 2>stderr.txt " + c.arguments + "; echo $?");
    EXPECT_EQ(run.output, std::to_string(c.exitStatus) + "\n") << c.arguments;
    EXPECT_EQ(ReadText(dir.Path("stdout.txt")), c.output) << c.arguments;
    EXPECT_EQ(ReadText(dir.Path("stderr.txt")), c.errors) << c.arguments;
}

TEST(CliMessages, BadNotesAreShownSoAPersonSeesThem) {
    // Note text one byte longer than the limit allows.
    const std::string tooLong = std::to_string(tolvimo::NOTE_TEXT_CAPACITY);
    const Case cases[] = {
        {"piano 'C4 D4' 8000 o.wav", 1, "",
         "wavinstruments: Error: Invalid note at position 2:  \n"
         "wavinstruments: character 3 of NOTES (byte position 2) is ' ' (space); " +
             BETWEEN + PLAIN},
        {"piano cdefg 8000 o.wav", 1, "",
         "wavinstruments: Error: Invalid note at position 0: c\n"
         "wavinstruments: character 1 of NOTES (byte position 0) is 'c'; note letters are upper "
         "case: write 'C'\n"},
        {"piano 'C\xC3\xA9' 8000 o.wav", 1, "",
         "wavinstruments: Error: Invalid note at position 1: \xC3\xA9\n"
         "wavinstruments: character 2 of NOTES (byte position 1) is '\xC3\xA9' (U+00E9); " +
             NOTE_SYNTAX + "\n"},
        {"piano '\xC3\xA9\xC3\xA9X' 8000 o.wav", 1, "",
         "wavinstruments: Error: Invalid note at position 0: \xC3\xA9\n"
         "wavinstruments: character 1 of NOTES (byte position 0) is '\xC3\xA9' (U+00E9); " +
             NOTE_SYNTAX + "\n"},
        {"piano 'C\xE2\x99\xAF\x44' 8000 o.wav", 1, "",  // a music sharp sign, then D
         "wavinstruments: Error: Invalid note at position 1: \xE2\x99\xAF\n"
         "wavinstruments: character 2 of NOTES (byte position 1) is '\xE2\x99\xAF' (U+266F); "
         "write a sharp as #, as in 'C#4'\n"},
        {"piano 'CD\xC2\xA0"
         "E' 8000 o.wav",
         1, "",
         "wavinstruments: Error: Invalid note at position 2: \xC2\xA0\n"
         "wavinstruments: character 3 of NOTES (byte position 2) is U+00A0 (no-break space); " +
             BETWEEN + PLAIN},
        {"piano \"$(printf 'C\\tD')\" 8000 o.wav", 1, "",
         // The message's own copy of the library's line shows the tab escaped.
         "wavinstruments: Error: Invalid note at position 1: \\t\n"
         "wavinstruments: character 2 of NOTES (byte position 1) is U+0009 (tab); " +
             BETWEEN + PLAIN},
        {"piano \"$(printf 'C\\nD')\" 8000 o.wav", 1, "",
         "wavinstruments: Error: Invalid note at position 1: \\n\n"
         "wavinstruments: character 2 of NOTES (byte position 1) is U+000A (line feed); " +
             BETWEEN + PLAIN},
        {"piano 'CDE R CDE' 8000 o.wav", 1, "",
         "wavinstruments: Error: Invalid note at position 3:  \n"
         "wavinstruments: character 4 of NOTES (byte position 3) is ' ' (space); " +
             BETWEEN + PLAIN},
        {"piano RCDE 8000 o.wav", 1, "",
         "wavinstruments: Error: Invalid note at position 0: R\n"
         "wavinstruments: character 1 of NOTES (byte position 0) is 'R'; a rest cannot be "
         "written; " +
             PLAIN},
        {"piano C4/4D4/8 8000 o.wav", 1, "",
         "wavinstruments: Error: Invalid note at position 2: /\n"
         "wavinstruments: character 3 of NOTES (byte position 2) is '/'; a length cannot be "
         "written; " +
             PLAIN},
        {"piano C4:0.25 8000 o.wav", 1, "",
         "wavinstruments: Error: Invalid note at position 2: :\n"
         "wavinstruments: character 3 of NOTES (byte position 2) is ':'; a length cannot be "
         "written; " +
             PLAIN},
        {"piano '[CEG]' 8000 o.wav", 1, "",
         "wavinstruments: Error: Invalid note at position 0: [\n"
         "wavinstruments: character 1 of NOTES (byte position 0) is '['; a chord cannot be "
         "written, only its notes one after another, as in 'C4E4G4'; " +
             PLAIN},
        {"piano C#m 8000 o.wav", 1, "",
         "wavinstruments: Error: Invalid note at position 2: m\n"
         "wavinstruments: character 3 of NOTES (byte position 2) is 'm'; a chord cannot be "
         "written, only its notes one after another, as in 'C4E4G4'; " +
             PLAIN},
        {"piano H4 8000 o.wav", 1, "",
         "wavinstruments: Error: Invalid note at position 0: H\n"
         "wavinstruments: character 1 of NOTES (byte position 0) is 'H'; there is no H: in some "
         "notations H is B, written 'B' here (and their B is 'Bb')\n"},
        {"piano bell 8000 o.wav", 1, "",  // the arguments swapped
         "wavinstruments: Error: Invalid note at position 0: b\n"
         "wavinstruments: character 1 of NOTES (byte position 0) is 'b'; the notes are 'bell', a "
         "voice's name: the instrument comes first, then the notes\n"},
        {"piano 'C\xFF' 8000 o.wav", 1, "",
         "wavinstruments: Error: Invalid note at position 1: \xEF\xBF\xBD\n"
         "wavinstruments: character 2 of NOTES (byte position 1) is U+FFFD (what a byte that is "
         "not UTF-8 becomes); " +
             NOTE_SYNTAX + "\n"},
        {"piano C4,D4 8000 o.wav", 1, "",
         "wavinstruments: Error: Invalid note at position 2: ,\n"
         "wavinstruments: character 3 of NOTES (byte position 2) is ','; " +
             BETWEEN + PLAIN},
        {"piano C9 8000 o.wav", 1, "",
         "wavinstruments: Error: Invalid note at position 1: 9\n"
         "wavinstruments: character 2 of NOTES (byte position 1) is '9'; octave digits run from "
         "0 to 8\n"},
        {"piano 'C##' 8000 o.wav", 1, "",
         "wavinstruments: Error: Invalid note at position 2: #\n"
         "wavinstruments: character 3 of NOTES (byte position 2) is '#'; a note takes one # or b "
         "before its octave digit and one more after it\n"},
        {"piano CDX 8000 o.wav", 1, "",
         "wavinstruments: Error: Invalid note at position 2: X\n"
         "wavinstruments: character 3 of NOTES (byte position 2) is 'X'; " +
             NOTE_SYNTAX + "\n"},
        {"piano \"$(printf 'C%.0s' $(seq " + tooLong + "))\" 8000 o.wav", 1, "",
         "wavinstruments: Error: Note text must be shorter than " + tooLong + " bytes (NOTES is " +
             tooLong + " bytes)\n"},
    };
    for (const auto& c : cases) Check(c);
}

TEST(CliMessages, ArgumentsAreNamedWithWhatIsWrong) {
    const Case cases[] = {
        {"piano C 44.1k o.wav", 2, "",
         "wavinstruments: SAMPLE_RATE '44.1k' is not a whole number of Hz (for example 44100)\n" +
             TRY},
        {"piano C 44100Hz o.wav", 2, "",
         "wavinstruments: SAMPLE_RATE '44100Hz' is not a whole number of Hz (for example "
         "44100)\n" +
             TRY},
        {"piano C 44100.0 o.wav", 2, "",
         "wavinstruments: SAMPLE_RATE '44100.0' is a whole number written with a decimal point; "
         "write 44100 without it\n" +
             TRY},
        {"piano C 8000. o.wav", 2, "",
         "wavinstruments: SAMPLE_RATE '8000.' is a whole number written with a decimal point; "
         "write 8000 without it\n" +
             TRY},
        {"piano C 8000.5 o.wav", 2, "",
         "wavinstruments: SAMPLE_RATE '8000.5' is not a whole number of Hz (for example 44100)\n" +
             TRY},
        {"piano C ' 8000' o.wav", 2, "",
         "wavinstruments: SAMPLE_RATE ' 8000' is not a whole number of Hz (for example 44100)\n" +
             TRY},
        {"--hlep", 2, "", "wavinstruments: unknown option '--hlep'\n" + TRY},
        {"-V", 2, "", "wavinstruments: unknown option '-V'\n" + TRY},
        {"", 2, "",
         "wavinstruments: expected 4 arguments (INSTRUMENT NOTES SAMPLE_RATE OUTPUT), got 0\n" +
             TRY},
        {"piano C 8000 o.wav extra", 2, "",
         "wavinstruments: expected 4 arguments (INSTRUMENT NOTES SAMPLE_RATE OUTPUT), got 5\n" +
             TRY},
        {"piano CDE 8000 --", 2, "",  // "--" ends options; it names no file
         "wavinstruments: expected 4 arguments (INSTRUMENT NOTES SAMPLE_RATE OUTPUT), got 3\n" +
             TRY},
        {"--list piano", 2, "", "wavinstruments: --list takes no arguments, got 1\n" + TRY},
        {"--list --version", 2, "",
         "wavinstruments: --list and --version cannot be used together\n" + TRY},
        {"piano C 8000 '\xFF.wav'", 2, "",
         "wavinstruments: OUTPUT '\xFF.wav' is not valid UTF-8; name the file in UTF-8\n" + TRY},
        {"Piano C 8000 o.wav", 3, "",
         "wavinstruments: Error: Unknown instrument 'Piano'\n"
         "wavinstruments: did you mean 'piano' or 'epiano'? 'wavinstruments --list' prints every "
         "name\n"},
        {"glock C 8000 o.wav", 3, "",
         "wavinstruments: Error: Unknown instrument 'glock'\n"
         "wavinstruments: did you mean 'glockenspiel'? 'wavinstruments --list' prints every "
         "name\n"},
        {"xylophone C 8000 o.wav", 3, "",
         "wavinstruments: Error: Unknown instrument 'xylophone'\n"
         "wavinstruments: none of the " +
             std::to_string(std::size(tolvimo::PRESETS)) +
             " voices is named like it; 'wavinstruments --list' prints every name\n"},
        {"CDE piano 8000 o.wav", 3, "",
         "wavinstruments: Error: Unknown instrument 'CDE'\n"
         "wavinstruments: 'CDE' reads as notes: the instrument comes first, then the notes; "
         "'wavinstruments --list' prints every name\n"},
        // A tab or line feed in the name is escaped: the message stays one line each.
        {"\"$(printf 'pia\\tno')\" C 8000 o.wav", 3, "",
         "wavinstruments: Error: Unknown instrument 'pia\\tno'\n"
         "wavinstruments: did you mean 'piano'? 'wavinstruments --list' prints every name\n"},
        {"\"$(printf 'pia\\nno')\" C 8000 o.wav", 3, "",
         "wavinstruments: Error: Unknown instrument 'pia\\nno'\n"
         "wavinstruments: did you mean 'piano'? 'wavinstruments --list' prints every name\n"},
        {"piano C 7999 o.wav", 4, "",
         "wavinstruments: Error: Sample rate must be between 8000 and 192000 Hz (SAMPLE_RATE is "
         "7999)\n"},
        {"piano C 99999999999 o.wav", 4, "",
         "wavinstruments: Error: Sample rate must be between 8000 and 192000 Hz (SAMPLE_RATE is "
         "99999999999)\n"},
        {"piano C -8000 o.wav", 4, "",
         "wavinstruments: Error: Sample rate must be between 8000 and 192000 Hz (SAMPLE_RATE is "
         "-8000)\n"},
    };
    for (const auto& c : cases) Check(c);
}

TEST(CliMessages, AFileThatCannotBeWrittenSaysWhy) {
    const std::string longName(200, 'a');
    const Case cases[] = {
        {"piano C 8000 missing/o.wav", 1, "",
         "wavinstruments: Error: Cannot open output file 'missing/o.wav' (folder 'missing': No "
         "such file or directory)\n"},
        {"piano C 8000 folder", 1, "",
         "wavinstruments: Error: Cannot open output file 'folder' (Is a directory)\n"},
        {"piano C 8000 ''", 1, "",
         "wavinstruments: Error: Cannot open output file '' (No such file or directory)\n"},
        {"piano C 8000 stderr.txt/o.wav", 1, "",
         "wavinstruments: Error: Cannot open output file 'stderr.txt/o.wav' (folder "
         "'stderr.txt': Not a directory)\n"},
        {"piano C 8000 " + longName, 1, "",
         "wavinstruments: Error: Cannot open output file '" + longName +
             "' (the path is 200 bytes long; it must be shorter than 200)\n"},
        {"piano C 8000 /dev/full", 1, "",
         "wavinstruments: Error: Cannot write output file '/dev/full' (No space left on "
         "device)\n"},
        // The reason is the failed call's own, wherever the path leads.
        {"piano C 8000 /proc/nope.wav", 1, "",
         "wavinstruments: Error: Cannot open output file '/proc/nope.wav' (No such file or "
         "directory)\n"},
        {"piano C 8000 folder/", 1, "",
         "wavinstruments: Error: Cannot open output file 'folder/' (Is a directory)\n"},
        // A link into a missing folder named the link's own folder, '.'.
        {"piano C 8000 \"$(ln -s nowhere/o.wav link && echo link)\"", 1, "",
         "wavinstruments: Error: Cannot open output file 'link' (No such file or directory)\n"},
        // A folder's name said "Is a directory" even where no such folder was.
        {"piano C 8000 missing/deeper/", 1, "",
         "wavinstruments: Error: Cannot open output file 'missing/deeper/' (folder "
         "'missing/deeper': No such file or directory)\n"},
        // The kernel's files were said to have no space left; root may open
        // them, and they cannot hold a file's bytes.
        {"piano C 8000 /proc/self/status", 1, "",
         std::string("wavinstruments: Error: Cannot open output file '/proc/self/status' (") +
             (geteuid() == 0 ? "Operation not supported" : "Permission denied") + ")\n"},
    };
    for (const auto& c : cases) Check(c);
}

// Each reason is the failed call's own: a pipe whose reader left was
// reported with the error of a seek made after the write failed.
TEST(CliMessages, TheReasonIsTheFailedCallsOwn) {
    TempDir dir;
    const CliRun fifo =
        RunShell("cd " + dir.Path("") + " && mkfifo f && (head -c 100 f >/dev/null &) && " +
                 WAVINSTRUMENTS_PATH + " violin CDEFGAB 44100 f 2>&1");
    EXPECT_EQ(fifo.output, "wavinstruments: Error: Cannot write output file 'f' (Broken pipe)\n");
}

// An address space too small for the program's own text used to abort it
// ("terminate called without an active exception", 134). From too small to
// start at all (127) to room enough: exit 1 with the shortage named, or 0.
TEST(CliMessages, TooLittleAddressSpaceNeverAborts) {
#if defined(TOLVIMO_SANITIZED)
    GTEST_SKIP() << "a sanitized program reserves more address space than these limits leave";
#endif
    TempDir dir;
    const CliRun limits = RunShell("cd " + dir.Path("") +
                                   " && for kb in $(seq 4096 128 8192); do prlimit --as=$((kb * "
                                   "1024)) " WAVINSTRUMENTS_PATH
                                   " piano CDE 44100 o.wav >/dev/null 2>e; "
                                   "echo $? $(grep -c 'Not enough memory' e); done | sort -u");
    std::istringstream lines(limits.output);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(line == "127 0" || line == "1 1" || line == "0 0") << line;
    }
    EXPECT_NE(limits.output.find("1 1"), std::string::npos) << "no limit ran out in the program";
}

TEST(CliMessages, SuccessReportsOnStandardOutputOrNothingWhenQuiet) {
    const std::string report =
        "Created o.wav with 8000 samples at 8000 Hz\nDuration: 1.00 seconds\nInstrument: piano\n";
    const Case cases[] = {
        {"piano CD 8000 o.wav", 0, report, ""},
        {"piano CD 8000 o.wav >/dev/null", 0, "", ""},  // nothing went to standard output
        {"-q piano CD 8000 o.wav", 0, "", ""},
        {"piano CD 8000 o.wav --quiet", 0, "", ""},
        {"-q -- piano CD 8000 -o.wav", 0, "", ""},  // after "--", "-o.wav" is a name
        {"-q piano C 8000 - >/dev/null", 0, "", ""},
        {"piano '' 8000 o.wav", 0,
         "Created o.wav with 0 samples at 8000 Hz\nDuration: 0.00 seconds\nInstrument: piano\n",
         "wavinstruments: warning: NOTES is empty; the file holds no samples\n"},
    };
    for (const auto& c : cases) Check(c);
    const CliRun help = RunCli("-h");
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.output.rfind("usage: wavinstruments [-q] [--] INSTRUMENT", 0), 0u);
    EXPECT_EQ(RunCli("--help piano").output, help.output);  // help wins
    EXPECT_EQ(RunCli("--version").output, "1.0.0.1\n");
}

// The man page and --help name every option the program takes and every
// exit status it gives, and no other status.
TEST(CliMessages, TheManPageAndHelpDocumentEveryOptionAndExitStatus) {
    const std::string help = RunCli("--help").output;
    std::string man = ReadText(std::string(PROJECT_SOURCE_DIR) + "/docs/wavinstruments.1");
    ASSERT_FALSE(man.empty());
    man = std::regex_replace(man, std::regex(R"(\\-)"), "-");
    for (const std::string option :
         {"-q", "--quiet", "--", "-h", "--help", "--version", "--list"}) {
        // An option the program really takes: never "unknown option".
        if (option != "--") {
            EXPECT_EQ(RunCli(option + " --help").errors, "") << option;
        }
        EXPECT_TRUE(std::regex_search(help, std::regex("\\s" + option + "[, ]"))) << option;
        const std::regex listed("\\n\\.BR? ([^\\n]* )?" + option + "( |\\n)");
        EXPECT_TRUE(std::regex_search(man, listed)) << option;
    }
    std::set<int> inHelp;
    std::set<int> inMan;
    const std::regex helpStatus(R"(\n  ([0-9])  )");
    for (std::sregex_iterator i(help.begin(), help.end(), helpStatus), end; i != end; ++i)
        inHelp.insert(std::stoi((*i)[1]));
    const auto section = man.find(".SH EXIT STATUS");
    ASSERT_NE(section, std::string::npos);
    const std::string statuses = man.substr(section, man.find(".SH", section + 1) - section);
    const std::regex manStatus(R"(\.TP\n\.B ([0-9])\n)");
    for (std::sregex_iterator i(statuses.begin(), statuses.end(), manStatus), end; i != end; ++i)
        inMan.insert(std::stoi((*i)[1]));
    const std::set<int> program{0, 1, 2, 3, 4, 5, 6};
    EXPECT_EQ(inHelp, program);
    EXPECT_EQ(inMan, program);
}

}  // namespace
}  // namespace tolvimo_test

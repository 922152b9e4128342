#include "cli/refusal_message.h"

#include <iterator>

#include "cli/command_line.h"
#include "request/explanation.h"
#include "request/report.h"
#include "synthesis/preset_table.h"

namespace tolvimo_cli {
namespace {

std::string InstrumentHint(const tolvimo::Outcome& outcome) {
    const auto nearest = tolvimo::CloseInstruments(outcome);
    std::string hint;
    for (size_t i = 0; i < nearest.size(); ++i) {
        hint += (i == 0                    ? "did you mean "
                 : i + 1 == nearest.size() ? " or "
                                           : ", ") +
                Quoted(nearest[i]);
    }
    if (!hint.empty()) return hint + "? 'wavinstruments --list' prints every name";
    return "'wavinstruments --list' prints the " + std::to_string(std::size(tolvimo::PRESETS)) +
           " instrument names";
}

}  // namespace

std::vector<std::string> ExplainRefusal(const tolvimo::Outcome& outcome,
                                        std::string_view sampleRate, bool streamed) {
    std::string line = tolvimo::LibraryLines(outcome);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    const auto reason = [&line](const std::string& why) {
        if (!why.empty()) line += " (" + why + ")";
    };
    std::vector<std::string> lines;
    using tolvimo::RefusalKind;
    switch (outcome.refusal) {
        case RefusalKind::UnknownInstrument: lines = {line, InstrumentHint(outcome)}; return lines;
        case RefusalKind::BadSampleRate: reason("SAMPLE_RATE is " + std::string(sampleRate)); break;
        case RefusalKind::InvalidNote: {
            const tolvimo::BadNote& note = outcome.badNote;
            lines = {line, "character " + std::to_string(note.position + 1) +
                               " of NOTES (byte position " + std::to_string(note.position) +
                               ") is " + tolvimo::NameCharacter(note.character) + "; " +
                               tolvimo::NoteHint(note)};
            return lines;
        }
        case RefusalKind::NoteTextTooLong:
            reason("NOTES is " + std::to_string(outcome.noteTextBytes) + " bytes");
            break;
        case RefusalKind::CannotOpen:
        case RefusalKind::CannotWrite: {
            const std::string why = tolvimo::OutputReason(outcome);
            reason(streamed && !why.empty() ? "standard output: " + why : why);
            break;
        }
        default: break;
    }
    lines = {line};
    return lines;
}

}  // namespace tolvimo_cli

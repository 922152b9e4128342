#include "cli/refusal_message.h"

#include "request/explanation.h"

namespace tolvimo_cli {

std::vector<std::string> ExplainRefusal(const tolvimo::Outcome& outcome,
                                        std::string_view sampleRate, bool streamed) {
    std::string line = tolvimo::ShownLine(outcome);
    const auto reason = [&line](const std::string& why) {
        if (!why.empty()) line += " (" + why + ")";
    };
    std::vector<std::string> lines;
    using tolvimo::RefusalKind;
    switch (outcome.refusal) {
        case RefusalKind::UnknownInstrument:
            lines = {line,
                     tolvimo::InstrumentHint(outcome, "'wavinstruments --list' prints every name")};
            return lines;
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

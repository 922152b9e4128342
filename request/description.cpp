#include "request/description.h"

#include "request/explanation.h"
#include "request/report.h"

namespace tolvimo {

std::vector<std::string> DescriptionLines(const Outcome& outcome) {
    if (outcome.refusal == RefusalKind::None) {
        std::vector<std::string> lines;
        const std::string text = LibraryLines(outcome);
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }
    std::string line = ShownLine(outcome);
    const auto reason = [&line](const std::string& why) {
        if (!why.empty()) line += " (" + why + ")";
    };
    switch (outcome.refusal) {
        case RefusalKind::UnknownInstrument:
            return {line, InstrumentHint(outcome, "'wavinstruments --list' prints every name")};
        case RefusalKind::BadSampleRate:
            reason("SAMPLE_RATE is " + std::to_string(outcome.sampleRate));
            break;
        case RefusalKind::InvalidNote: {
            const BadNote& note = outcome.badNote;
            return {line, "character " + std::to_string(note.position + 1) +
                              " of NOTES (byte position " + std::to_string(note.position) +
                              ") is " + NameCharacter(note.character) + "; " + NoteHint(note)};
        }
        case RefusalKind::NoteTextTooLong:
            reason("NOTES is " + std::to_string(outcome.noteTextBytes) + " bytes");
            break;
        case RefusalKind::CannotOpen:
        case RefusalKind::CannotWrite: reason(OutputReason(outcome)); break;
        default: break;
    }
    return {line};
}

}  // namespace tolvimo

#include "request/description.h"

#include <iterator>

#include "request/explanation.h"
#include "request/report.h"
#include "synthesis/preset_table.h"

namespace tolvimo {
namespace {

std::string InstrumentHint(const Outcome& outcome) {
    const auto nearest = CloseInstruments(outcome);
    std::string hint;
    for (size_t i = 0; i < nearest.size(); ++i) {
        hint += (i == 0                    ? "did you mean '"
                 : i + 1 == nearest.size() ? " or '"
                                           : ", '") +
                std::string(nearest[i]) + "'";
    }
    if (!hint.empty()) return hint + "? 'wavinstruments --list' prints every name";
    return "'wavinstruments --list' prints the " + std::to_string(std::size(PRESETS)) +
           " instrument names";
}

std::string NoteLine(const BadNote& note) {
    return "character " + std::to_string(note.position + 1) + " of NOTES (byte position " +
           std::to_string(note.position) + ") is " + NameCharacter(note.character) + "; " +
           NoteHint(note);
}

}  // namespace

std::vector<std::string> DescriptionLines(const Outcome& outcome) {
    const std::string text = LibraryLines(outcome);
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (outcome.refusal == RefusalKind::None || lines.empty()) return lines;
    std::string& line = lines.front();
    const auto reason = [&line](const std::string& why) {
        if (!why.empty()) line += " (" + why + ")";
    };
    switch (outcome.refusal) {
        case RefusalKind::UnknownInstrument: lines.push_back(InstrumentHint(outcome)); break;
        case RefusalKind::BadSampleRate:
            reason("SAMPLE_RATE is " + std::to_string(outcome.sampleRate));
            break;
        case RefusalKind::InvalidNote: lines.push_back(NoteLine(outcome.badNote)); break;
        case RefusalKind::NoteTextTooLong:
            reason("NOTES is " + std::to_string(outcome.noteTextBytes) + " bytes");
            break;
        case RefusalKind::CannotOpen:
        case RefusalKind::CannotWrite: reason(OutputReason(outcome)); break;
        default: break;
    }
    return lines;
}

}  // namespace tolvimo

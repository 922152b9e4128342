#include "request/note_plan.h"

#include <cstdlib>

#include "notes/note_reader.h"
#include "synthesis/repeated_notes.h"

namespace tolvimo {

void NotePlanReleaser::operator()(NotePlan* plan) const {
    std::free(plan);
}

NotePlan* CreateNotePlan() {
    auto* plan = static_cast<NotePlan*>(std::malloc(sizeof(NotePlan)));
    if (plan != nullptr) {
        plan->count = 0;
        plan->recurring = 0;
    }
    return plan;
}

int64_t ReadNotePlan(const char* text, uint32_t length, NotePlan& plan) {
    plan.count = 0;
    plan.recurring = 0;
    uint32_t position = 0;
    while (position < length && plan.count < static_cast<int32_t>(NOTE_TEXT_CAPACITY)) {
        const uint32_t start = position;
        const double frequency = ParseNote(text, position);
        if (!(frequency >= 0.0)) return start;
        plan.frequency[plan.count] = frequency;
        ++plan.count;
    }
    plan.recurring = ScheduleRepeats(plan.frequency, plan.count, plan.nextUse);
    return -1;
}

}  // namespace tolvimo

// A request's notes, read in full before anything is written, so a bad
// note never touches a file and the file's size is known up front.
#pragma once

#include <cstdint>
#include <memory>

#include "request/request_limits.h"

namespace tolvimo {

struct NotePlan {
    int32_t count;
    double frequency[NOTE_TEXT_CAPACITY];
    // Index of the next note of the bit-identical frequency, or NO_NEXT_USE.
    int32_t nextUse[NOTE_TEXT_CAPACITY];
    int32_t recurring;  // notes whose frequency comes again later
};

struct NotePlanReleaser {
    void operator()(NotePlan* plan) const;
};
using NotePlanPtr = std::unique_ptr<NotePlan, NotePlanReleaser>;

// An empty plan; nullptr when memory runs out.
NotePlan* CreateNotePlan();

// Reads every note of `text` (shorter than NOTE_TEXT_CAPACITY bytes) into
// the plan. Returns -1 when all are notes, else the byte position of the
// first character that starts none.
int64_t ReadNotePlan(const char* text, uint32_t length, NotePlan& plan);

}  // namespace tolvimo

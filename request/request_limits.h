// Fixed values of a render request.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvimo {

// Every note lasts half a second; the note text cannot change it.
constexpr double NOTE_DURATION = 0.5;

constexpr int32_t MIN_SAMPLE_RATE = 8000;
constexpr int32_t MAX_SAMPLE_RATE = 192000;

// Sizes, terminator included, of the request's working copies of its text
// arguments. Longer arguments are refused rather than cut.
constexpr size_t INSTRUMENT_NAME_CAPACITY = 56;
constexpr size_t NOTE_TEXT_CAPACITY = 1000;
constexpr size_t OUTPUT_PATH_CAPACITY = 200;

}  // namespace tolvimo

// Fixed values of a render request.
#pragma once

#include <cstddef>
#include <cstdint>

#include "TolvimoWAVInstruments.h"

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

// The largest request these allow: every note takes at least a byte, so
// at most MAX_NOTES notes, each of MAX_NOTE_SAMPLES samples at the top rate.
// The sample count, and the WAV file's size with its 44-byte header, are
// counted in 32-bit integers (the header's fields, TotalSamples).
constexpr int64_t MAX_NOTES = static_cast<int64_t>(NOTE_TEXT_CAPACITY) - 1;
constexpr int64_t MAX_NOTE_SAMPLES = static_cast<int64_t>(MAX_SAMPLE_RATE * NOTE_DURATION);
constexpr int64_t MAX_SAMPLES = MAX_NOTES * MAX_NOTE_SAMPLES;
static_assert(44 + 2 * MAX_SAMPLES <= INT32_MAX,
              "the largest request's WAV file no longer fits in 31 bits: lower "
              "NOTE_TEXT_CAPACITY, MAX_SAMPLE_RATE or NOTE_DURATION, or widen the sizes");

// The public header's copies of these limits.
static_assert(MIN_SAMPLE_RATE == TOLVIMO_MIN_SAMPLE_RATE &&
              MAX_SAMPLE_RATE == TOLVIMO_MAX_SAMPLE_RATE);
static_assert(INSTRUMENT_NAME_CAPACITY == TOLVIMO_INSTRUMENT_NAME_CAPACITY &&
              NOTE_TEXT_CAPACITY == TOLVIMO_NOTE_TEXT_CAPACITY &&
              OUTPUT_PATH_CAPACITY == TOLVIMO_OUTPUT_PATH_CAPACITY);
static_assert(NOTE_DURATION * 1000 == TOLVIMO_NOTE_MILLISECONDS);

}  // namespace tolvimo

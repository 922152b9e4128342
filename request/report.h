// The lines a request prints: on standard output, or where the host asks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace tolvimo {

// The three lines of a written file: path, sample count and rate; duration
// with two decimals; instrument. The duration is formatted without regard to
// the host's locale, so the decimal separator is always '.'.
void ReportCreated(std::FILE* report, const char* path, int32_t sampleCount, int32_t sampleRate,
                   const char* instrument);

// The invalid-note line for the character at byte `position` of `text`,
// echoing the whole character, all of its bytes.
void ReportInvalidNote(std::FILE* report, const char* text, size_t length, size_t position);

}  // namespace tolvimo

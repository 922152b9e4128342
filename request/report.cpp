#include "request/report.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "platform/text_conversion.h"

namespace tolvimo {

void ReportCreated(std::FILE* report, const char* path, int32_t sampleCount, int32_t sampleRate,
                   const char* instrument) {
    const double seconds = static_cast<double>(sampleCount) / static_cast<double>(sampleRate);
    char duration[32];
#if defined(__cpp_lib_to_chars)
    const auto result = std::to_chars(duration, duration + sizeof duration - 1, seconds,
                                      std::chars_format::fixed, 2);
    *result.ptr = '\0';
#else
    // Standard libraries without floating-point to_chars (the WebAssembly
    // toolchain's): printf rounds the same way, and a decimal comma from the
    // host's locale is put back to a point.
    std::snprintf(duration, sizeof duration, "%.2f", seconds);
    std::replace(duration, duration + std::strlen(duration), ',', '.');
#endif
    std::fprintf(report, "Created %s with %d samples at %d Hz\n", path, sampleCount, sampleRate);
    std::fprintf(report, "Duration: %s seconds\n", duration);
    std::fprintf(report, "Instrument: %s\n", instrument);
}

void ReportInvalidNote(std::FILE* report, const char* text, size_t length, size_t position) {
    const size_t bytes = CharacterLength(text, length, position);
    std::fprintf(report, "Error: Invalid note at position %d: %.*s\n", static_cast<int>(position),
                 static_cast<int>(bytes), text + position);
}

}  // namespace tolvimo

// Prints the library's facts as JSON: the version, the voices in table
// order, the request's limits and the status codes. The Python package, the
// npm package, the playground and the documentation checks are all made from
// this one output, so none of them copies a fact from the C++ sources.
#include <cstdio>

#include "TolvimoWAVInstruments.h"
#include "request/request_limits.h"
#include "synthesis/preset_table.h"
#include "tolvimo_version.h"

namespace {

// Names in the tables are plain ASCII letters: written as they stand.
void PrintVoices() {
    std::printf("  \"voices\": [\n");
    for (size_t kind = 0; kind < std::size(tolvimo::PRESETS); ++kind) {
        const tolvimo::Preset& row = tolvimo::PRESETS[kind];
        std::printf("    {\"name\": \"%s\", \"kind\": %zu, \"harmonics\": %d, ", row.name, kind,
                    static_cast<int>(row.harmonicCount));
        if (row.vibrato) {
            std::printf("\"vibrato\": {\"depth\": %.17g, \"rate\": %.17g}}", row.vibratoDepth,
                        row.vibratoRate);
        } else {
            std::printf("\"vibrato\": null}");
        }
        std::printf("%s\n", kind + 1 < std::size(tolvimo::PRESETS) ? "," : "");
    }
    std::printf("  ],\n");
}

// Lengths are given as the most bytes an argument may have, terminator
// excluded: what a person or a front end checks against.
void PrintLimits() {
    std::printf("  \"limits\": {\n");
    std::printf("    \"minSampleRate\": %d,\n", static_cast<int>(tolvimo::MIN_SAMPLE_RATE));
    std::printf("    \"maxSampleRate\": %d,\n", static_cast<int>(tolvimo::MAX_SAMPLE_RATE));
    std::printf("    \"maxInstrumentNameBytes\": %zu,\n", tolvimo::INSTRUMENT_NAME_CAPACITY - 1);
    std::printf("    \"maxNoteTextBytes\": %zu,\n", tolvimo::NOTE_TEXT_CAPACITY - 1);
    std::printf("    \"maxOutputPathBytes\": %zu,\n", tolvimo::OUTPUT_PATH_CAPACITY - 1);
    std::printf("    \"noteSeconds\": %.17g\n", tolvimo::NOTE_DURATION);
    std::printf("  },\n");
}

void PrintStatuses() {
    std::printf("  \"statuses\": {\n");
    std::printf("    \"created\": %d,\n", TOLVIMO_STATUS_CREATED);
    std::printf("    \"unknownInstrument\": %d,\n", TOLVIMO_STATUS_UNKNOWN_INSTRUMENT);
    std::printf("    \"badSampleRate\": %d,\n", TOLVIMO_STATUS_BAD_SAMPLE_RATE);
    std::printf("    \"failed\": %d\n", TOLVIMO_STATUS_FAILED);
    std::printf("  }\n");
}

}  // namespace

int main() {
    std::printf("{\n  \"version\": \"%s\",\n", TOLVIMO_VERSION_TEXT);
    PrintVoices();
    PrintLimits();
    PrintStatuses();
    std::printf("}\n");
    return std::ferror(stdout) != 0 || std::fflush(stdout) != 0 ? 1 : 0;
}

// A host that runs a fixed set of requests through the public header and
// prints, after the library's own lines, each status and the length and
// digest of the file left behind. Built for Linux and for Windows, its two
// outputs must agree line for line: same codes, messages and bytes.
// Run it in an empty directory: it writes only relative paths there.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "TolvimoWAVInstruments.h"
#include "request/request_limits.h"  // the limits, each met and passed by one
#include "synthesis/preset_table.h"  // the voices' names, read at build time
#include "tests/utf16.h"

namespace {

using tolvimo_test::ToUtf16;

struct Request {
    std::string instrument;
    std::string notes;
    int32_t rate;
    std::string path;
};

// Length and FNV-1a 64 of the file, or "no file".
std::string Describe(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return "no file";
    uint64_t hash = 14695981039346656037ull;
    long length = 0;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file), ++length) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    std::fclose(file);
    std::remove(path.c_str());
    char text[64];
    std::snprintf(text, sizeof text, "%ld bytes, digest %016" PRIx64, length, hash);
    return text;
}

}  // namespace

int main() {
    std::vector<Request> requests;
    for (const auto& preset : tolvimo::PRESETS) {
        for (const int32_t rate : {8000, 8001, 44100}) {
            requests.push_back({preset.name, "C#4Bb3A5Eb2G#6F0D8bB", rate, "out.wav"});
        }
    }
    const Request edges[] = {
        {"piano", "CDEFG", 192000, "out.wav"},
        {"theremin", "B8C0", 8000, "out.wav"},
        {"piano", "", 44100, "out.wav"},
        {"Piano", "CDEFG", 44100, "out.wav"},
        {"", "C", 44100, "out.wav"},
        {std::string(tolvimo::INSTRUMENT_NAME_CAPACITY, 'p'), "C", 44100, "out.wav"},
        {"flute", "C", tolvimo::MIN_SAMPLE_RATE - 1, "out.wav"},
        {"flute", "C", tolvimo::MAX_SAMPLE_RATE + 1, "out.wav"},
        {"nope", "C", 5, "out.wav"},
        {"piano", "CDX", 44100, "out.wav"},
        {"piano", " C", 44100, "out.wav"},
        {"piano", "C9", 44100, "out.wav"},
        {"piano", std::string(tolvimo::NOTE_TEXT_CAPACITY, 'C'), 44100, "out.wav"},
        {"piano", "CD", 8000, "missing/out.wav"},
        {"piano", "CD", 8000, std::string(tolvimo::OUTPUT_PATH_CAPACITY, 'f')},
    };
    requests.insert(requests.end(), std::begin(edges), std::end(edges));

    int number = 0;
    for (const auto& r : requests) {
        const int32_t status =
            WAVInstruments(ToUtf16(r.instrument).c_str(), ToUtf16(r.notes).c_str(), r.rate,
                           ToUtf16(r.path).c_str());
        std::printf("request %d: status %d, %s\n", ++number, static_cast<int>(status),
                    Describe(r.path).c_str());
    }
    return 0;
}

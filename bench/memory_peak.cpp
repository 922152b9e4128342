// Peak memory and time of one render into memory the caller owns, through
// the internal entry the language bindings use: the result's size beside
// the process's peak RSS. Usage: memory_peak [wav|samples] [NOTES_FILE]
// (default: the largest request, MAX_NOTES notes at MAX_SAMPLE_RATE).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "request/render_entry.h"
#include "request/request_limits.h"

namespace {

struct Room {
    void* data = nullptr;
    size_t size = 0;
};

void* Reserve(void* context, size_t size) {
    auto& room = *static_cast<Room*>(context);
    room.data = std::malloc(size);
    room.size = size;
    return room.data;
}

}  // namespace

int main(int argc, char** argv) {
    const bool samples = argc > 1 && std::string(argv[1]) == "samples";
    std::basic_string<TolvimoUtf16> notes;
    if (argc > 2) {
        std::FILE* file = std::fopen(argv[2], "rb");
        if (file == nullptr) return 2;
        for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file))
            if (c > ' ') notes.push_back(static_cast<TolvimoUtf16>(c));
        std::fclose(file);
    } else {
        for (int64_t k = 0; k < tolvimo::MAX_NOTES; ++k)
            notes.push_back(static_cast<TolvimoUtf16>("CDEFGAB"[k % 7]));
    }
    const std::basic_string<TolvimoUtf16> violin{'v', 'i', 'o', 'l', 'i', 'n'};
    Room room;
    const auto start = std::chrono::steady_clock::now();
    const tolvimo::Outcome outcome = tolvimo::RenderToMemory(
        violin.c_str(), notes.c_str(), tolvimo::MAX_SAMPLE_RATE,
        samples ? tolvimo::MemoryFormat::Samples : tolvimo::MemoryFormat::WavFile,
        {Reserve, &room});
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("status %d, %zu bytes in %.1f ms, peak RSS %ld kB = %.3f x the result\n",
                static_cast<int>(outcome.status), room.size, took.count(), usage.ru_maxrss,
                static_cast<double>(usage.ru_maxrss) * 1024.0 / static_cast<double>(room.size));
    std::free(room.data);
    return outcome.status == TOLVIMO_STATUS_CREATED ? 0 : 1;
}

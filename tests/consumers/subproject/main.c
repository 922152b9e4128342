/* Renders into memory through the sink and checks the WAV header's size. */
#include <stdint.h>
#include <stdio.h>

#include <TolvimoWAVInstruments.h>

static int Count(void* total, const void* bytes, size_t size) {
    (void)bytes;
    *(uint64_t*)total += size;
    return 0;
}

int main(void) {
    uint64_t total = 0;
    uint64_t size = 0;
    if (TolvimoMeasure("piano", "CEG", 8000, TOLVIMO_FORMAT_WAV, &size, NULL) != 999) return 1;
    if (TolvimoRenderToSink("piano", "CEG", 8000, TOLVIMO_FORMAT_WAV, Count, &total, NULL) != 999)
        return 1;
    return total == size && size == 44 + 2 * 3 * 4000 ? 0 : 1;
}

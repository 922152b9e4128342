/* A C11 host: built through pkg-config against an installed tree by
 * consumers/run.sh, and against the build tree as the c_host test. It
 * renders into memory through the sink, then into the named file. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <TolvimoWAVInstruments.h>

#include "expected_file.h"

typedef struct {
    unsigned char* bytes;
    size_t filled;
    size_t room;
} Memory;

static int Fill(void* context, const void* bytes, size_t size) {
    Memory* memory = (Memory*)context;
    if (size > memory->room - memory->filled) return 1;
    memcpy(memory->bytes + memory->filled, bytes, size);
    memory->filled += size;
    return 0;
}

/* The same request through the sink: the file's bytes, in memory. */
static int RenderIntoMemory(void) {
    uint64_t size = 0;
    Memory memory = {NULL, 0, 0};
    int failed;
    if (TolvimoMeasure("piano", "CDEFG", 8000, TOLVIMO_FORMAT_WAV, &size, NULL) != 999) return 1;
    memory.bytes = (unsigned char*)malloc((size_t)size);
    memory.room = (size_t)size;
    if (memory.bytes == NULL) return 1;
    failed = TolvimoRenderToSink("piano", "CDEFG", 8000, TOLVIMO_FORMAT_WAV, Fill, &memory, NULL) !=
                 TOLVIMO_STATUS_CREATED ||
             CheckRenderedBytes(memory.bytes, memory.filled) != 0;
    free(memory.bytes);
    return failed;
}

int main(int argc, char** argv) {
    static const TolvimoUtf16 instrument[] = {'p', 'i', 'a', 'n', 'o', 0};
    static const TolvimoUtf16 notes[] = {'C', 'D', 'E', 'F', 'G', 0};
    TolvimoUtf16 path[512];
    size_t i = 0;
    if (argc != 2) return 2;
    if (RenderIntoMemory() != 0) return 1;
    for (; argv[1][i] != '\0' && i + 1 < sizeof path / sizeof path[0]; ++i) {
        path[i] = (TolvimoUtf16)(unsigned char)argv[1][i];
    }
    path[i] = 0;
    if (WAVInstruments(instrument, notes, 8000, path) != TOLVIMO_STATUS_CREATED) return 1;
    return CheckRenderedFile(argv[1]);
}

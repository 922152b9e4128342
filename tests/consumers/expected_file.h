/* What both consumers must produce: piano "CDEFG" at 8000 Hz, as computed by
 * the independent reference renderer (length and FNV-1a 64 of every byte). */
#ifndef TOLVIMO_CONSUMER_EXPECTED_FILE_H
#define TOLVIMO_CONSUMER_EXPECTED_FILE_H

#include <stdint.h>
#include <stdio.h>

#define EXPECTED_LENGTH 40044L
#define EXPECTED_DIGEST UINT64_C(0x42638064b9f79b7a)

/* 0 when `bytes` (`length` of them) are exactly the expected ones. */
static int CheckRenderedBytes(const unsigned char* bytes, size_t length) {
    uint64_t hash = UINT64_C(14695981039346656037);
    size_t i;
    for (i = 0; i < length; ++i) hash = (hash ^ bytes[i]) * UINT64_C(1099511628211);
    return length == (size_t)EXPECTED_LENGTH && hash == EXPECTED_DIGEST ? 0 : 1;
}

/* 0 when the file at `path` has exactly the expected bytes. */
static int CheckRenderedFile(const char* path) {
    FILE* file = fopen(path, "rb");
    uint64_t hash = UINT64_C(14695981039346656037);
    long length = 0;
    int c;
    if (file == NULL) return 1;
    while ((c = fgetc(file)) != EOF) {
        hash = (hash ^ (uint64_t)(unsigned char)c) * UINT64_C(1099511628211);
        ++length;
    }
    fclose(file);
    return length == EXPECTED_LENGTH && hash == EXPECTED_DIGEST ? 0 : 1;
}

#endif

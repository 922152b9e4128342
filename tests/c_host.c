/* A C11 host: the public header compiles as C, and the library is called
 * through it. Exits 0 when a one-note request is written. */
#include <stdio.h>

#include "TolvimoWAVInstruments.h"

int main(int argc, char** argv) {
    static const TolvimoUtf16 instrument[] = {'o', 'b', 'o', 'e', 0};
    static const TolvimoUtf16 notes[] = {'A', 0};
    TolvimoUtf16 path[256];
    size_t i = 0;
    if (argc != 2) return 2;
    for (; argv[1][i] != '\0' && i + 1 < sizeof path / sizeof path[0]; ++i) {
        path[i] = (TolvimoUtf16)(unsigned char)argv[1][i];
    }
    path[i] = 0;
    return WAVInstruments(instrument, notes, 8000, path) == TOLVIMO_STATUS_CREATED ? 0 : 1;
}

/* A C11 host: built through pkg-config against an installed tree by
 * consumers/run.sh, and against the build tree as the c_host test. */
#include <stdio.h>

#include <TolvimoWAVInstruments.h>

#include "expected_file.h"

int main(int argc, char** argv) {
    static const TolvimoUtf16 instrument[] = {'p', 'i', 'a', 'n', 'o', 0};
    static const TolvimoUtf16 notes[] = {'C', 'D', 'E', 'F', 'G', 0};
    TolvimoUtf16 path[512];
    size_t i = 0;
    if (argc != 2) return 2;
    for (; argv[1][i] != '\0' && i + 1 < sizeof path / sizeof path[0]; ++i) {
        path[i] = (TolvimoUtf16)(unsigned char)argv[1][i];
    }
    path[i] = 0;
    if (WAVInstruments(instrument, notes, 8000, path) != TOLVIMO_STATUS_CREATED) return 1;
    return CheckRenderedFile(argv[1]);
}

/* Renders an arpeggio, the notes of a C major chord one after another, to
 * arpeggio.wav (or the path given as the only argument) with the piano voice,
 * through WAVInstruments: the call for a host that wants the library's own
 * report printed. Build it against the installed library:
 *
 *   cc -std=c11 render_arpeggio.c $(pkg-config --cflags --libs TolvimoWAVInstruments)
 *
 * The strings are UTF-16 (u"..."), and the library prints its report or its
 * one error line itself. examples/mix_chords.c renders quietly into memory. */
#include <stdio.h>
#include <stdlib.h>

#include <TolvimoWAVInstruments.h>

int main(int argc, char** argv) {
    /* The path arrives as bytes: ASCII paths are copied across one for one. */
    const char* path = argc > 1 ? argv[1] : "arpeggio.wav";
    TolvimoUtf16 output[256];
    size_t length = 0;
    for (; path[length] != '\0'; ++length) {
        if (length + 1 == sizeof output / sizeof output[0] || (unsigned char)path[length] > 127) {
            fprintf(stderr, "render_arpeggio: give a short ASCII path\n");
            return EXIT_FAILURE;
        }
        output[length] = (TolvimoUtf16)path[length];
    }
    output[length] = 0;

    const int32_t status = WAVInstruments(u"piano", u"C4E4G4C5", 44100, output);
    /* 999: written; 222: unknown instrument; 333: sample rate out of range;
     * 1: not written, for the reason the library's line gives. */
    return status == TOLVIMO_STATUS_CREATED ? EXIT_SUCCESS : EXIT_FAILURE;
}

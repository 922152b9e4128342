/* Renders a chord progression into memory and mixes it: each of a chord's
 * three notes comes from its own line of notes, rendered quietly through the
 * library's sink into a buffer sized once by TolvimoMeasure, and the three
 * lines are summed into progression.wav (or the path given as the only
 * argument). Then it asks for a request the library refuses and prints what
 * the library says about it. Build it against the installed library:
 *
 *   cc -std=c99 mix_chords.c $(pkg-config --cflags --libs TolvimoWAVInstruments)
 *
 * The library prints nothing itself: every line here is the host's. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <TolvimoWAVInstruments.h>

#define RATE 44100
#define LINES 3

/* Memory the sink fills, block after block, as the notes are rendered. */
typedef struct {
    int16_t* samples;
    size_t bytes;  /* room, as measured */
    size_t filled; /* bytes written so far */
} Track;

static int Fill(void* context, const void* bytes, size_t size) {
    Track* track = (Track*)context;
    if (size > track->bytes - track->filled) return 1; /* nonzero stops the render */
    memcpy((char*)track->samples + track->filled, bytes, size);
    track->filled += size;
    return 0;
}

/* What the library says about an outcome, on `stream`. */
static void Explain(FILE* stream, const TolvimoOutcome* outcome) {
    char text[512];
    if (TolvimoDescribe(outcome, text, sizeof text) >= sizeof text) {
        strcpy(text + sizeof text - 4, "...");
    }
    fprintf(stream, "%s\n", text);
}

/* Renders `notes` with `voice` as samples into `track`; its status. */
static int32_t Render(const char* voice, const char* notes, Track* track, TolvimoOutcome* outcome) {
    uint64_t bytes = 0;
    int32_t status = TolvimoMeasure(voice, notes, RATE, TOLVIMO_FORMAT_SAMPLES, &bytes, outcome);
    if (status != TOLVIMO_STATUS_CREATED) return status;
    track->samples = (int16_t*)malloc(bytes > 0 ? (size_t)bytes : 1);
    track->bytes = (size_t)bytes;
    track->filled = 0;
    if (track->samples == NULL) return TOLVIMO_STATUS_FAILED;
    status = TolvimoRenderToSink(voice, notes, RATE, TOLVIMO_FORMAT_SAMPLES, Fill, track, outcome);
    if (status != TOLVIMO_STATUS_CREATED) free(track->samples);
    return status;
}

static void PutLittleEndian(unsigned char* at, uint32_t value, int bytes) {
    int i;
    for (i = 0; i < bytes; ++i) at[i] = (unsigned char)(value >> (8 * i));
}

/* A mono 16-bit WAV file of `count` samples. */
static int WriteWav(const char* path, const int16_t* samples, size_t count) {
    unsigned char header[44];
    size_t i;
    FILE* file = fopen(path, "wb");
    if (file == NULL) return -1;
    memcpy(header, "RIFF", 4);
    PutLittleEndian(header + 4, (uint32_t)(36 + 2 * count), 4);
    memcpy(header + 8, "WAVEfmt ", 8);
    PutLittleEndian(header + 16, 16, 4);
    PutLittleEndian(header + 20, 1, 2); /* PCM */
    PutLittleEndian(header + 22, 1, 2); /* mono */
    PutLittleEndian(header + 24, RATE, 4);
    PutLittleEndian(header + 28, 2 * RATE, 4);
    PutLittleEndian(header + 32, 2, 2);
    PutLittleEndian(header + 34, 16, 2);
    memcpy(header + 36, "data", 4);
    PutLittleEndian(header + 40, (uint32_t)(2 * count), 4);
    fwrite(header, 1, sizeof header, file);
    for (i = 0; i < count; ++i) {
        unsigned char sample[2];
        PutLittleEndian(sample, (uint16_t)samples[i], 2);
        fwrite(sample, 1, 2, file);
    }
    {
        const int failed = ferror(file);
        return fclose(file) == 0 && !failed ? 0 : -1;
    }
}

int main(int argc, char** argv) {
    /* C, G, A minor, F: a chord a note, each line one voice of the chords. */
    static const char* const lines[LINES] = {"C4G3A3F3", "E4B3C4A3", "G4D4E4C4"};
    const char* path = argc > 1 ? argv[1] : "progression.wav";
    Track tracks[LINES];
    TolvimoOutcome outcome;
    int16_t* mix;
    size_t count, i;
    int line;

    for (line = 0; line < LINES; ++line) {
        if (Render("epiano", lines[line], &tracks[line], &outcome) != TOLVIMO_STATUS_CREATED) {
            Explain(stderr, &outcome);
            return EXIT_FAILURE;
        }
    }
    /* The lines have as many notes, so as many samples. */
    count = tracks[0].bytes / sizeof(int16_t);
    mix = (int16_t*)malloc(count > 0 ? count * sizeof(int16_t) : 1);
    if (mix == NULL) return EXIT_FAILURE;
    for (i = 0; i < count; ++i) {
        int32_t sum = 0;
        for (line = 0; line < LINES; ++line) sum += tracks[line].samples[i];
        mix[i] = (int16_t)(sum / LINES); /* each voice at a third: no clipping */
    }
    for (line = 0; line < LINES; ++line) free(tracks[line].samples);
    if (WriteWav(path, mix, count) != 0) {
        fprintf(stderr, "mix_chords: cannot write %s\n", path);
        free(mix);
        return EXIT_FAILURE;
    }
    free(mix);
    printf("Mixed %d lines of %s into %s: %lu samples at %d Hz\n", LINES, "epiano", path,
           (unsigned long)count, RATE);

    /* A refused request: the record says what and where, the library says it
     * in words, as the command-line program does. */
    {
        Track refused;
        if (Render("epiano", "C4 E4 G4", &refused, &outcome) != TOLVIMO_STATUS_FAILED ||
            outcome.refusal != TOLVIMO_REFUSAL_INVALID_NOTE) {
            return EXIT_FAILURE;
        }
        printf("Refused at byte %ld, U+%04lX:\n", (long)outcome.position,
               (unsigned long)outcome.character);
        Explain(stdout, &outcome);
    }
    return EXIT_SUCCESS;
}

/*
 * TolvimoWAVInstruments: renders a line of note text ("CDEFG", "C#4Bb3") as a
 * mono 16-bit PCM WAV file with one of its additive-synthesis instruments.
 *
 * The Tolvimo functions take UTF-8 text, print nothing and describe what
 * they did in a TolvimoOutcome: TolvimoRenderFile writes a named file,
 * TolvimoRenderToSink hands the bytes to a function of the host's as they
 * are rendered (into memory, a socket, a mixer), TolvimoMeasure gives the
 * size a render will have, and TolvimoDescribe words an outcome for a
 * person. WAVInstruments is the original entry: UTF-16 text in, a report
 * printed on standard output, a status out; call it where that report is
 * what is wanted.
 *
 * The library holds no state between calls, so any number of threads may
 * call it at once.
 */
#ifndef TOLVIMO_WAV_INSTRUMENTS_H
#define TOLVIMO_WAV_INSTRUMENTS_H

#if defined(_WIN32)
#include <wchar.h>
/* Windows passes wide strings: UTF-16 in wchar_t. */
typedef wchar_t TolvimoUtf16;
#if defined(TOLVIMO_WAV_INSTRUMENTS_STATIC)
#define TOLVIMO_WAV_INSTRUMENTS_API
#elif defined(TOLVIMO_WAV_INSTRUMENTS_BUILD)
#define TOLVIMO_WAV_INSTRUMENTS_API __declspec(dllexport)
#else
#define TOLVIMO_WAV_INSTRUMENTS_API __declspec(dllimport)
#endif
/* The C calling convention, stated so that a 32-bit host compiled with
 * another default (/Gz) still calls it correctly; the DLL exports the name
 * undecorated. 64-bit Windows has one convention and ignores this. */
#define TOLVIMO_WAV_INSTRUMENTS_CALL __cdecl
#else
#define TOLVIMO_WAV_INSTRUMENTS_CALL
#if defined(__cplusplus)
/* char16_t is a built-in type in C++. */
typedef char16_t TolvimoUtf16;
#else
#include <uchar.h>
typedef char16_t TolvimoUtf16;
#endif
#define TOLVIMO_WAV_INSTRUMENTS_API __attribute__((visibility("default")))
#endif

#include <stddef.h>
#include <stdint.h>

#if defined(__cplusplus)
extern "C" {
#endif

/* Status codes returned by WAVInstruments and the Tolvimo functions. */
#define TOLVIMO_STATUS_CREATED 999            /* the file was written */
#define TOLVIMO_STATUS_UNKNOWN_INSTRUMENT 222 /* no instrument has that name */
#define TOLVIMO_STATUS_BAD_SAMPLE_RATE 333    /* sample rate outside 8000..192000 */
/* Not written: a character starts no note, the note text is too long, the
 * output cannot be opened or written (or the sink stopped), memory ran out,
 * the notes, path, sink or size pointer is null, or the format is unknown. */
#define TOLVIMO_STATUS_FAILED 1

/*
 * Renders `notes` with `instrument` at `sampleRate` samples per second and
 * writes the result to `outputFile`, creating or replacing it.
 *
 * instrument  NUL-terminated UTF-16 name of one of the voices,
 *             matched exactly and case-sensitively (`wavinstruments --list`
 *             prints them; the README describes each).
 * notes       NUL-terminated UTF-16 note text; each note lasts 0.5 s.
 * sampleRate  8000 to 192000 inclusive.
 * outputFile  NUL-terminated UTF-16 path of the WAV file.
 *
 * Prints a three-line report or one "Error: " line on standard output, which
 * is flushed before the call returns (on standard error instead when
 * outputFile names the file or pipe standard output writes to). Returns one
 * of the status codes above.
 * On any status but 999 every file is left as it was: the file is written
 * beside the destination and put in its place only when complete (a file
 * with other hard links, or a device, is written in place and emptied on
 * failure). On Windows the function uses the C calling convention (__cdecl).
 */
TOLVIMO_WAV_INSTRUMENTS_API int32_t TOLVIMO_WAV_INSTRUMENTS_CALL
WAVInstruments(const TolvimoUtf16* instrument, const TolvimoUtf16* notes, int32_t sampleRate,
               const TolvimoUtf16* outputFile);

/* The request's limits. An argument must be shorter than its capacity in
 * bytes (the terminator takes the last byte). Every note lasts
 * TOLVIMO_NOTE_MILLISECONDS. */
#define TOLVIMO_MIN_SAMPLE_RATE 8000
#define TOLVIMO_MAX_SAMPLE_RATE 192000
#define TOLVIMO_INSTRUMENT_NAME_CAPACITY 56
#define TOLVIMO_NOTE_TEXT_CAPACITY 1000
#define TOLVIMO_OUTPUT_PATH_CAPACITY 200
#define TOLVIMO_NOTE_MILLISECONDS 500
/* How many voices there are: TolvimoVoiceName names indexes 0 to
 * TOLVIMO_VOICE_COUNT - 1. */
#define TOLVIMO_VOICE_COUNT 15

/* What TolvimoRenderToSink and TolvimoMeasure produce. */
#define TOLVIMO_FORMAT_WAV 0     /* the WAV file's bytes, as TolvimoRenderFile writes them */
#define TOLVIMO_FORMAT_SAMPLES 1 /* the samples alone, as int16_t in the host's byte order */

/* Why a request was refused: TolvimoOutcome.refusal. NONE is a written
 * output; each other kind goes with one status code. */
#define TOLVIMO_REFUSAL_NONE 0
#define TOLVIMO_REFUSAL_INSTRUMENT_MISSING 1 /* the instrument pointer is null (222) */
#define TOLVIMO_REFUSAL_NOTES_MISSING 2      /* the notes pointer is null */
#define TOLVIMO_REFUSAL_OUTPUT_MISSING 3     /* the path pointer is null */
#define TOLVIMO_REFUSAL_SINK_MISSING 4       /* the sink, or Measure's size pointer, is null */
#define TOLVIMO_REFUSAL_UNKNOWN_FORMAT 5     /* format is no TOLVIMO_FORMAT_ value */
#define TOLVIMO_REFUSAL_UNKNOWN_INSTRUMENT 6 /* no voice has the name (222) */
#define TOLVIMO_REFUSAL_BAD_SAMPLE_RATE 7    /* the rate is out of range (333) */
#define TOLVIMO_REFUSAL_NOTE_TEXT_TOO_LONG 8 /* TOLVIMO_NOTE_TEXT_CAPACITY bytes or more */
#define TOLVIMO_REFUSAL_INVALID_NOTE 9       /* a note cannot be read: see position */
#define TOLVIMO_REFUSAL_CANNOT_OPEN 10       /* the output cannot be opened */
#define TOLVIMO_REFUSAL_CANNOT_WRITE 11      /* it cannot be written in full, or the sink stopped */
#define TOLVIMO_REFUSAL_OUT_OF_MEMORY 12     /* memory for the request ran out */

/*
 * What a request did. The Tolvimo functions fill every field, whatever the
 * outcome; the host need not set any. Fields are only ever added in place
 * of `reserved`, so the size and the places of the fields below stay as
 * they are and a host built today keeps working with later versions.
 */
typedef struct TolvimoOutcome {
    int32_t version; /* TOLVIMO_OUTCOME_VERSION of the library that filled it */
    int32_t status;  /* the function's return value */
    int32_t refusal; /* a TOLVIMO_REFUSAL_ value */
    /* CANNOT_OPEN, CANNOT_WRITE: errno of the call that failed (on Windows
     * the C runtime's errno from the system's error), 0 where none is known;
     * inFolder is 1 when that call was on the destination's folder (finding
     * it, or making a file in it) rather than the file. */
    int32_t systemError;
    int32_t inFolder;
    /* INVALID_NOTE: the refused character as a code point (U+FFFD for bytes
     * that are not UTF-8), and its byte offset in the notes; -1 otherwise. */
    uint32_t character;
    int64_t position;
    /* The output's samples and rate, once the notes are read (a render
     * refused later, for the output, still has them); 0 before. */
    int32_t sampleCount;
    int32_t sampleRate;
    int32_t voice;          /* the voice's index, -1 when none was found */
    int32_t toFile;         /* 1 when the output is a named file (TolvimoRenderFile) */
    uint64_t noteTextBytes; /* the notes' length in bytes, 0 when null */
    /* The request's own text, borrowed (the caller's pointers), which
     * TolvimoDescribe quotes: describe an outcome while they live. `output`
     * is the path, or for a sink what the sentence calls it ("<memory>");
     * a host may point it at a name of its own before describing. */
    const char* instrument;
    const char* notes;
    const char* output;
    uint64_t reserved[8];
} TolvimoOutcome;

#define TOLVIMO_OUTCOME_VERSION 1

/* What a sink's outcome calls the output, in its `output` field. */
#define TOLVIMO_MEMORY_OUTPUT_NAME "<memory>"

/*
 * A destination for rendered bytes. It gets them in order, in blocks, as
 * they are rendered, on the calling thread, inside the call: `bytes` holds
 * `size` bytes only until it returns. Returning nonzero stops the render,
 * which is then refused as CANNOT_WRITE (status 1) with systemError the
 * errno the sink left (the library clears errno before each call).
 */
typedef int (*TolvimoSink)(void* context, const void* bytes, size_t size);

/*
 * Renders `notes` with `instrument` at `sampleRate` into the file `path`,
 * creating or replacing it, with the same file contract as WAVInstruments:
 * on any status but 999 every file is left as it was.
 *
 * instrument  NUL-terminated UTF-8 name of a voice, matched exactly and
 *             case-sensitively (TolvimoVoiceName gives them).
 * notes       NUL-terminated UTF-8 note text; each note lasts 0.5 s.
 * sampleRate  TOLVIMO_MIN_SAMPLE_RATE to TOLVIMO_MAX_SAMPLE_RATE inclusive.
 * path        NUL-terminated path: on POSIX its bytes are the file's name,
 *             passed on as they are; on Windows UTF-8, opened by its UTF-16
 *             name.
 * outcome     filled with what happened; may be null.
 *
 * Returns the status code (999 written, 222, 333 or 1). Prints nothing.
 * Null text pointers are refusals of their own kinds, never a crash.
 */
TOLVIMO_WAV_INSTRUMENTS_API int32_t TOLVIMO_WAV_INSTRUMENTS_CALL
TolvimoRenderFile(const char* instrument, const char* notes, int32_t sampleRate, const char* path,
                  TolvimoOutcome* outcome);

/*
 * Renders the request in `format` (TOLVIMO_FORMAT_WAV or
 * TOLVIMO_FORMAT_SAMPLES) and hands the bytes to `sink` with `context`.
 * Every check is made before the first byte, so a refused argument or note
 * calls the sink never; the sink sees the bytes in order, a block at a
 * time, and the render holds memory that does not grow with the request
 * (about 3 MB at the top rate). Opens no file. Returns the status code as
 * TolvimoRenderFile does; a sink that returns nonzero gives status 1,
 * refusal CANNOT_WRITE, and no further call. A null sink is refused as
 * SINK_MISSING, an unknown format as UNKNOWN_FORMAT. Prints nothing.
 */
TOLVIMO_WAV_INSTRUMENTS_API int32_t TOLVIMO_WAV_INSTRUMENTS_CALL
TolvimoRenderToSink(const char* instrument, const char* notes, int32_t sampleRate, int32_t format,
                    TolvimoSink sink, void* context, TolvimoOutcome* outcome);

/*
 * Checks the request as TolvimoRenderToSink would, with every refusal but
 * the output's, and puts in `*size` the number of bytes the render in
 * `format` hands over, without rendering, so that a host can allocate once.
 * Returns 999 when the request would render; `*size` is then set (0 for no
 * notes in TOLVIMO_FORMAT_SAMPLES) and is otherwise left alone. A null
 * `size` is refused as SINK_MISSING. Prints nothing.
 */
TOLVIMO_WAV_INSTRUMENTS_API int32_t TOLVIMO_WAV_INSTRUMENTS_CALL
TolvimoMeasure(const char* instrument, const char* notes, int32_t sampleRate, int32_t format,
               uint64_t* size, TolvimoOutcome* outcome);

/*
 * The outcome as a person reads it, in UTF-8, worded as the command-line
 * program words it: for a written output its three-line report, for a
 * refusal its "Error: " line with the reason where one is known, then on a
 * line of its own what to do: the bad character named and a hint, or the
 * voices a mistyped name was probably meant to be. Lines are joined by a
 * line feed, with none at the end. Writes at most `size` bytes into `text`,
 * always NUL-terminated when `size` is not 0 (`text` may be null when it is),
 * and returns the length of the whole text, terminator excluded, as
 * snprintf does: a return of `size` or more means it was cut. Reads the
 * request's text through the outcome's borrowed pointers. A null outcome
 * gives an empty text.
 */
TOLVIMO_WAV_INSTRUMENTS_API size_t TOLVIMO_WAV_INSTRUMENTS_CALL
TolvimoDescribe(const TolvimoOutcome* outcome, char* text, size_t size);

/* The parts TolvimoDescribePart gives, each empty where the outcome has
 * none: the lines WAVInstruments prints for it, joined by line feeds; why
 * the output could not be opened or written; the refused character, named
 * so that it can be seen ('c', U+0009 (tab)); what to do, one clause (for
 * an unknown instrument it ends where the host says where its list of the
 * voices is: "did you mean 'piano'?"); the voices a mistyped name was
 * probably meant to be, one a line; the refusal's line as one line, a
 * control character it quotes escaped (\t). */
#define TOLVIMO_PART_LINES 0
#define TOLVIMO_PART_REASON 1
#define TOLVIMO_PART_CHARACTER 2
#define TOLVIMO_PART_HINT 3
#define TOLVIMO_PART_SUGGESTIONS 4
#define TOLVIMO_PART_SHOWN_LINE 5

/*
 * One part of what TolvimoDescribe says, for a host that frames the
 * description in its own terms (a binding's argument names, its own list of
 * the voices). The same contract as TolvimoDescribe; an unknown `part`
 * gives an empty text. The character is named from outcome->character, so
 * a host may put there the character it was given where the library read
 * U+FFFD (an unpaired surrogate in a UTF-16 string).
 */
TOLVIMO_WAV_INSTRUMENTS_API size_t TOLVIMO_WAV_INSTRUMENTS_CALL
TolvimoDescribePart(const TolvimoOutcome* outcome, int32_t part, char* text, size_t size);

/* The name of voice `index` (0 to TOLVIMO_VOICE_COUNT - 1) as the functions
 * accept it, in the library's order; null for any other index. */
TOLVIMO_WAV_INSTRUMENTS_API const char* TOLVIMO_WAV_INSTRUMENTS_CALL
TolvimoVoiceName(int32_t index);

#if defined(__cplusplus)
}
#endif

#endif /* TOLVIMO_WAV_INSTRUMENTS_H */

/*
 * TolvimoWAVInstruments: renders a line of note text ("CDEFG", "C#4Bb3") as a
 * mono 16-bit PCM WAV file with one of its additive-synthesis instruments.
 *
 * The library has a single entry point, WAVInstruments. It holds no state
 * between calls, so any number of threads may call it at once.
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

#include <stdint.h>

#if defined(__cplusplus)
extern "C" {
#endif

/* Status codes returned by WAVInstruments. */
#define TOLVIMO_STATUS_CREATED 999            /* the file was written */
#define TOLVIMO_STATUS_UNKNOWN_INSTRUMENT 222 /* no instrument has that name */
#define TOLVIMO_STATUS_BAD_SAMPLE_RATE 333    /* sample rate outside 8000..192000 */
/* Not written: a character starts no note, the note text is too long, the
 * output cannot be opened or written, memory ran out, or the notes or path
 * pointer is null. */
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

#if defined(__cplusplus)
}
#endif

#endif /* TOLVIMO_WAV_INSTRUMENTS_H */

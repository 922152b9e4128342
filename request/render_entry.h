// The library's internal entries: a request rendered into a named file, an
// open stream, memory or a byte sink, each returning its outcome and
// printing nothing. WAVInstruments and the exported Tolvimo functions
// (request/tolvimo_api.cpp) are built on them; the catalogue, the fuzzers
// and the unit tests reach them through the static core library.
//
// Every entry takes the exported functions' arguments (NUL-terminated
// UTF-16 or UTF-8 text, the rate as a 32-bit integer), checks them in the
// same order and refuses the same way, keeps no state between calls and
// touches no process-wide state (standard output, the locale, signals): any
// number of threads may call them at once. A caller may release a lock of
// its own (Python's GIL) around the call. The outcome's ArgumentText::wide
// and ::whole pointers are the caller's own arguments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "TolvimoWAVInstruments.h"
#include "request/outcome.h"

namespace tolvimo {

// Renders into the file at `path`, created or replaced as WAVInstruments
// does it: on any refusal every file is left as it was. WAVInstruments is
// this entry followed by PrintLines on standard output (standard error when
// outcome.pathNamesStandardOutput).
Outcome RenderToFile(const TolvimoUtf16* instrument, const TolvimoUtf16* notes, int32_t sampleRate,
                     const TolvimoUtf16* path);

// Renders onto the open stream `wav`, each note as soon as it is rendered,
// and flushes it; nothing is written when an argument or note is refused.
// `shownName` (borrowed) stands for the output in the outcome. A byte the
// stream refuses gives CannotWrite, with the errno of the failed write.
Outcome RenderToStream(const TolvimoUtf16* instrument, const TolvimoUtf16* notes,
                       int32_t sampleRate, std::FILE* wav, const char* shownName);

// What a render into memory produces.
enum class MemoryFormat : uint8_t {
    WavFile,  // the whole file, header and little-endian samples, as written
    Samples,  // only the samples, as int16_t in the machine's byte order
};

// Where a render into memory puts its bytes: memory the caller owns (a
// Python bytes or array object, a WebAssembly heap block, a vector).
struct MemorySink {
    // Called once, after every check has passed and before any note is
    // rendered, with the exact size in bytes of what follows (0 for no
    // notes in the Samples format). Returns room for that many bytes,
    // aligned for int16_t, which the render then fills completely; nullptr
    // refuses the request as OutOfMemory (for 0 bytes it is no refusal and
    // nothing is written). It runs on the calling thread, inside the call:
    // a binding that released its interpreter lock around the call takes it
    // back here to make its object. May throw: the render then ends,
    // releasing all it holds, and the exception passes to the caller.
    void* (*reserve)(void* context, size_t bytes);
    void* context;
};

// Renders into memory reserved through `sink`, written once, never copied:
// the caller's result is the only copy, and the render itself holds about
// 3 MB besides (one note's samples and a bounded store of recurring notes),
// whatever the request. Opens no file. The outcome's shownName is
// MEMORY_OUTPUT_NAME and its outputKind Memory. A refused argument or note
// never calls `reserve`; on any status but 999 what was reserved holds no
// result and is the caller's to discard.
Outcome RenderToMemory(const TolvimoUtf16* instrument, const TolvimoUtf16* notes,
                       int32_t sampleRate, MemoryFormat format, const MemorySink& sink);

struct ByteSink;

// A UTF-8 caller's path as the request reads it: its bytes as they are (no
// byte is replaced, so it names exactly the file the caller named), cut
// where it does not fit OUTPUT_PATH_CAPACITY, measured as the platform
// measures paths (on Windows in the ANSI code page, as WAVInstruments
// does). `whole` keeps the caller's pointer. False when memory runs out.
bool ReadUtf8Path(const char* text, ArgumentText& path);

// The same request from UTF-8 text, as the Tolvimo functions take it: into
// the named file (its bytes passed on as they are; on Windows opened by its
// UTF-16 name), into a sink that takes the bytes in `format` a block at a
// time, or only measured: `*size` gets the bytes a render in `format` would
// give, with every check but the output's. A null sink or size is refused
// as SinkMissing, a format outside MemoryFormat as UnknownFormat.
Outcome RenderUtf8ToFile(const char* instrument, const char* notes, int32_t sampleRate,
                         const char* path);
Outcome RenderUtf8ToSink(const char* instrument, const char* notes, int32_t sampleRate,
                         MemoryFormat format, const ByteSink& sink);
Outcome MeasureUtf8(const char* instrument, const char* notes, int32_t sampleRate,
                    MemoryFormat format, uint64_t* size);

}  // namespace tolvimo

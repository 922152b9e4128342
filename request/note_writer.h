// Rendering a request's notes in order and putting each note's bytes, as
// soon as it is rendered, where the request sends them: an open stream or
// memory. A named file is a stream too, opened and finished by
// request/output_file.h.
#pragma once

#include <cstdint>
#include <cstdio>

#include "TolvimoWAVInstruments.h"

#include "request/note_plan.h"
#include "request/render_entry.h"
#include "synthesis/instrument_voice.h"
#include "synthesis/repeated_notes.h"
#include "synthesis/sample_buffer.h"

namespace tolvimo {

struct PendingOutput;

enum class OutputResult { Written, CannotOpen, CannotWrite, OutOfMemory };

// How writing ended; for CannotOpen and CannotWrite, the errno value of the
// call that failed (0 when none is known), and whether that call was on the
// destination's folder rather than the file.
struct WriteResult {
    OutputResult result = OutputResult::Written;
    int error = 0;
    bool inFolder = false;
};

// `result` with the errno of the call that just failed, taken at once,
// before anything else can change it.
WriteResult FailureWithErrno(OutputResult result);

// What rendering a request's notes in order needs, all allocated before any
// file is touched: the notes, the voice, one note's buffer, reused for every
// note, and the store of notes that recur. Memory stays the same whatever
// the length of the request.
struct RenderContext {
    const NotePlan& plan;
    const InstrumentVoice& voice;
    SampleBuffer& buffer;
    RenderedNotes& rendered;
    int32_t noteSamples;
};

// Samples in the whole file.
int32_t TotalSamples(const RenderContext& context);

// Where the bytes go: a stream, or memory with room for them all. A WAV
// file is the header and little-endian samples; otherwise the samples
// alone, in the host's order (MemoryFormat::Samples).
struct NoteSink {
    std::FILE* stream = nullptr;
    PendingOutput* file = nullptr;  // the file the stream writes, told as each note is written
    uint8_t* memory = nullptr;      // where the next bytes go, without a stream
    bool wav = true;
};

// Puts the header (for a WAV file), then each note as soon as it is
// rendered. A file written in place gets zeros where its header goes, on
// disk before any sample changes, and the header only when the samples are
// on disk: cut short, it is no WAV file at all, rather than a header over a
// mix of new and old samples.
WriteResult WriteNotes(NoteSink& sink, const RenderContext& context);

// Writes the notes to an open stream (standard output, for the command-line
// host) and flushes it.
WriteResult WriteNotesToStream(std::FILE* stream, const RenderContext& context);

// Writes the notes in `format` into the room `sink` reserves for them.
OutputResult WriteNotesToMemory(MemoryFormat format, const MemorySink& sink,
                                const RenderContext& context);

}  // namespace tolvimo

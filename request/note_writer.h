// Rendering a request's notes in order and handing each note's bytes, as
// soon as it is rendered, to the request's one byte sink. A named file, an
// open stream, memory and a host's own function are each such a sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "TolvimoWAVInstruments.h"

#include "request/note_plan.h"
#include "request/render_entry.h"
#include "synthesis/instrument_voice.h"
#include "synthesis/repeated_notes.h"
#include "synthesis/sample_buffer.h"

namespace tolvimo {

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

// Bytes the notes come to in `format`: the header and two bytes a sample.
uint64_t OutputBytes(MemoryFormat format, const RenderContext& context);

// Where the bytes go: `put` takes them in order, a block at a time, and
// returns nonzero to refuse them, which ends the writing as CannotWrite with
// the errno the sink left (cleared before each call). Its shape is the
// public TolvimoSink's, so a host's sink is one as it is.
struct ByteSink {
    TolvimoSink put;
    void* context;
};

// Hands the sink the header (for a WAV file, little-endian samples), then
// each note's samples as soon as they are rendered. A file's sink holds its
// header back where the file is written in place (request/output_file.cpp).
WriteResult WriteNotes(const ByteSink& sink, MemoryFormat format, const RenderContext& context);

// The sinks of a stream and of memory with room for every byte.
ByteSink StreamSink(std::FILE* stream);
struct MemoryCursor {
    uint8_t* next;
};
ByteSink MemorySinkAt(MemoryCursor& cursor);

// Writes the notes as a WAV file to an open stream (standard output, for
// the command-line host) and flushes it.
WriteResult WriteNotesToStream(std::FILE* stream, const RenderContext& context);

// Writes the notes in `format` into the room `sink` reserves for them.
OutputResult WriteNotesToMemory(MemoryFormat format, const MemorySink& sink,
                                const RenderContext& context);

}  // namespace tolvimo

// Writing a request's notes as a WAV file, one note at a time.
#pragma once

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

// Writes the header, then each note as soon as it is rendered, to an open
// stream (standard output, for the command-line host) and flushes it.
WriteResult WriteNotesToStream(std::FILE* stream, const RenderContext& context);

// Writes the file at `path` so that a failure leaves every file as it was
// (see platform/output_protocol.h). `widePath` is the caller's own name of it,
// which Windows opens; `path` is its 8-bit spelling.
WriteResult WriteOutputFile(const char* path, const TolvimoUtf16* widePath,
                            const RenderContext& context);

// Writes the notes in `format` into the room `sink` reserves for them.
OutputResult WriteNotesToMemory(MemoryFormat format, const MemorySink& sink,
                                const RenderContext& context);

}  // namespace tolvimo

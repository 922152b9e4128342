// Writing a request's notes as a WAV file, one note at a time.
#pragma once

#include <cstdio>

#include "TolvimoWAVInstruments.h"

#include "request/note_plan.h"
#include "synthesis/instrument_voice.h"
#include "synthesis/repeated_notes.h"
#include "synthesis/sample_buffer.h"

namespace tolvimo {

enum class OutputResult { Written, CannotOpen, CannotWrite, OutOfMemory };

// What writing the notes needs, all allocated before any file is touched:
// one note's buffer, reused for every note, and the store of notes that
// recur. Memory stays the same whatever the length of the request.
struct NoteSource {
    const NotePlan& plan;
    const InstrumentVoice& voice;
    SampleBuffer& buffer;
    RenderedNotes& rendered;
    int32_t noteSamples;
};

// Samples in the whole file.
int32_t TotalSamples(const NoteSource& source);

// Writes the header, then each note as soon as it is rendered, to an open
// stream (standard output, for the command-line host) and flushes it.
OutputResult WriteNotesToStream(std::FILE* stream, const NoteSource& source);

// Writes the file at `path` so that a failure leaves every file as it was
// (see platform/file_status.h). `widePath` is the caller's own name of it,
// which Windows opens; `path` is its 8-bit spelling.
OutputResult WriteOutputFile(const char* path, const TolvimoUtf16* widePath,
                             const NoteSource& source);

}  // namespace tolvimo

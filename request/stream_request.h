// The request of WAVInstruments with the file's bytes going to an open
// stream instead of a named file, or with its lines going to a stream of the
// caller's. Not exported from the shared library: the
// command-line host links the library's objects to write OUTPUT "-" straight
// to standard output, with nothing on disk in between.
#pragma once

#include <cstdint>
#include <cstdio>

#include "TolvimoWAVInstruments.h"

namespace tolvimo {

// As WAVInstruments, except: the WAV bytes go to `wav` as each note is
// rendered (nothing at all when a note or argument is refused); the lines go
// to `report`, which is flushed before the call returns; `shownName` stands
// for the output in them. A stream that refuses a byte gives the
// cannot-write line and 1.
int32_t RenderRequestToStream(const TolvimoUtf16* instrument, const TolvimoUtf16* notes,
                              int32_t sampleRate, std::FILE* wav, std::FILE* report,
                              const char* shownName);

// As WAVInstruments, except that the lines go to `report`, flushed before the
// call returns, instead of standard output: the command-line host puts them
// where a person looks for them (a refusal on standard error).
int32_t RenderRequestReportingTo(const TolvimoUtf16* instrument, const TolvimoUtf16* notes,
                                 int32_t sampleRate, const TolvimoUtf16* outputFile,
                                 std::FILE* report);

}  // namespace tolvimo

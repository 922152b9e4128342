// The exported entry: the request rendered into the named file, then its
// lines printed on standard output.
#include <cstdio>

#include "TolvimoWAVInstruments.h"
#include "request/render_entry.h"
#include "request/report.h"
#include "synthesis/float_environment.h"

extern "C" TOLVIMO_WAV_INSTRUMENTS_API int32_t TOLVIMO_WAV_INSTRUMENTS_CALL
WAVInstruments(const TolvimoUtf16* instrument, const TolvimoUtf16* notes, int32_t sampleRate,
               const TolvimoUtf16* outputFile) {
    // The lines' duration too is worked out in the default environment.
    // cppcheck-suppress unusedVariable ; it holds that environment until the call returns
    const tolvimo::DefaultFloatEnvironment environment;
    const tolvimo::Outcome outcome =
        tolvimo::RenderToFile(instrument, notes, sampleRate, outputFile);
    // When the named output is the file that standard output writes to, the
    // lines go to standard error instead, or they would land in the WAV.
    std::FILE* report = outcome.pathNamesStandardOutput ? stderr : stdout;
    tolvimo::PrintLines(report, outcome);
    // A host capturing the lines sees every one before the call returns.
    std::fflush(report);
    return outcome.status;
}

#include "request/report.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "request/argument_text.h"
#include "request/request_limits.h"
#include "request/utf8_text.h"

namespace tolvimo {
namespace {

// Where the lines go: a stream, or text in memory. A stream gets them in
// one write when they fit the buffer (only a cut argument does not), as
// one printf would.
class LineSink {
public:
    explicit LineSink(std::FILE* stream) : stream_(stream) {}
    explicit LineSink(std::string& text) : text_(&text) {}
    LineSink(const LineSink&) = delete;
    LineSink& operator=(const LineSink&) = delete;
    ~LineSink() { Flush(); }

    void Put(const char* bytes, size_t length) {
        if (text_ != nullptr) {
            text_->append(bytes, length);
            return;
        }
        if (used_ + length > sizeof buffer_) Flush();
        if (length > sizeof buffer_) {
            std::fwrite(bytes, 1, length, stream_);
            return;
        }
        std::memcpy(buffer_ + used_, bytes, length);
        used_ += length;
    }
    void Put(const char* bytes) { Put(bytes, std::strlen(bytes)); }

private:
    void Flush() {
        if (used_ > 0) std::fwrite(buffer_, 1, used_, stream_);
        used_ = 0;
    }

    std::FILE* stream_ = nullptr;
    std::string* text_ = nullptr;
    char buffer_[512] = {};
    size_t used_ = 0;
};

// ConvertInPieces' callback: each piece of converted text goes into the line.
void PutConvertedPiece(void* sink, const char* text, size_t length) {
    static_cast<LineSink*>(sink)->Put(text, length);
}

// The argument whole: its 8-bit copy when that holds all of it, else the
// caller's text converted a piece at a time.
bool PutArgument(LineSink& sink, const ArgumentText& argument) {
    if (!argument.cut) {
        if (argument.narrow.text) sink.Put(argument.narrow.text.get(), argument.narrow.length);
        return true;
    }
    if (argument.wide != nullptr) return ConvertInPieces(argument.wide, PutConvertedPiece, &sink);
    if (argument.whole != nullptr) Utf8InPieces(argument.whole, PutConvertedPiece, &sink);
    return true;
}

// The duration with two decimals, whatever the host's locale: the decimal
// separator is always '.'.
void FormatDuration(char (&duration)[32], int32_t sampleCount, int32_t sampleRate) {
    const double seconds = static_cast<double>(sampleCount) / static_cast<double>(sampleRate);
#if defined(__cpp_lib_to_chars)
    const auto result = std::to_chars(duration, duration + sizeof duration - 1, seconds,
                                      std::chars_format::fixed, 2);
    *result.ptr = '\0';
#else
    // Standard libraries without floating-point to_chars (the WebAssembly
    // toolchain's): printf rounds the same way, and a decimal comma from the
    // host's locale is put back to a point.
    std::snprintf(duration, sizeof duration, "%.2f", seconds);
    std::replace(duration, duration + std::strlen(duration), ',', '.');
#endif
}

bool PutLines(LineSink& sink, const Outcome& outcome) {
    char line[128];
    switch (outcome.refusal) {
        case RefusalKind::None: {
            sink.Put("Created ");
            sink.Put(outcome.shownName);
            std::snprintf(line, sizeof line, " with %d samples at %d Hz\nDuration: ",
                          static_cast<int>(outcome.sampleCount),
                          static_cast<int>(outcome.sampleRate));
            sink.Put(line);
            char duration[32];
            FormatDuration(duration, outcome.sampleCount, outcome.sampleRate);
            sink.Put(duration);
            sink.Put(" seconds\nInstrument: ");
            sink.Put(outcome.voice);
            sink.Put("\n");
            return true;
        }
        case RefusalKind::InstrumentMissing:
        case RefusalKind::NotesMissing:
        case RefusalKind::OutputMissing:
        case RefusalKind::SinkMissing:
        case RefusalKind::UnknownFormat:
        case RefusalKind::OutOfMemory:
            sink.Put(FixedLine(outcome.refusal));
            sink.Put("\n");
            return true;
        case RefusalKind::UnknownInstrument: {
            sink.Put("Error: Unknown instrument '");
            const bool whole = PutArgument(sink, outcome.instrument);
            sink.Put("'\n");
            return whole;
        }
        case RefusalKind::BadSampleRate:
            std::snprintf(line, sizeof line, "Error: Sample rate must be between %d and %d Hz\n",
                          static_cast<int>(MIN_SAMPLE_RATE), static_cast<int>(MAX_SAMPLE_RATE));
            sink.Put(line);
            return true;
        case RefusalKind::NoteTextTooLong:
            std::snprintf(line, sizeof line, "Error: Note text must be shorter than %d bytes\n",
                          static_cast<int>(NOTE_TEXT_CAPACITY));
            sink.Put(line);
            return true;
        case RefusalKind::InvalidNote:
            std::snprintf(line, sizeof line, "Error: Invalid note at position %d: ",
                          static_cast<int>(outcome.badNote.position));
            sink.Put(line);
            sink.Put(outcome.badNote.bytes, outcome.badNote.byteCount);
            sink.Put("\n");
            return true;
        case RefusalKind::CannotOpen:
        case RefusalKind::CannotWrite: {
            sink.Put(outcome.refusal == RefusalKind::CannotOpen
                         ? "Error: Cannot open output file '"
                         : "Error: Cannot write output file '");
            // A path too long for its buffer is still quoted whole.
            bool whole = true;
            if (outcome.outputKind == OutputKind::File) {
                whole = PutArgument(sink, outcome.path);
            } else {
                sink.Put(outcome.shownName);
            }
            sink.Put("'\n");
            return whole;
        }
    }
    return true;
}

}  // namespace

const char* FixedLine(RefusalKind refusal) {
    switch (refusal) {
        case RefusalKind::InstrumentMissing: return "Error: Unknown instrument (null pointer)";
        case RefusalKind::NotesMissing: return "Error: Note text is missing (null pointer)";
        case RefusalKind::OutputMissing: return "Error: Output file path is missing (null pointer)";
        case RefusalKind::SinkMissing: return "Error: Output sink is missing (null pointer)";
        case RefusalKind::UnknownFormat: return "Error: Unknown output format";
        case RefusalKind::OutOfMemory: return "Error: Not enough memory for the request";
        default: return nullptr;
    }
}

bool PrintLines(std::FILE* stream, const Outcome& outcome) {
    LineSink sink(stream);
    return PutLines(sink, outcome);
}

std::string LibraryLines(const Outcome& outcome) {
    std::string text;
    {
        LineSink sink(text);
        PutLines(sink, outcome);
    }
    return text;
}

}  // namespace tolvimo

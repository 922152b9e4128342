#include "cli/report_capture.h"

#include <cstdlib>

namespace tolvimo_cli {

#if defined(_WIN32)
// The Windows C runtime has no memory stream: an unnamed temporary file,
// removed when closed, holds the few lines.
ReportCapture::ReportCapture() : stream_(std::tmpfile()) {}

std::string ReportCapture::Text() {
    std::string text;
    if (stream_ == nullptr || std::fflush(stream_) != 0) return text;
    std::rewind(stream_);
    for (int c = std::fgetc(stream_); c != EOF; c = std::fgetc(stream_))
        text.push_back(static_cast<char>(c));
    return text;
}
#else
ReportCapture::ReportCapture() : stream_(open_memstream(&buffer_, &size_)) {}

std::string ReportCapture::Text() {
    if (stream_ == nullptr || std::fflush(stream_) != 0) return {};
    return std::string(buffer_, size_);
}
#endif

ReportCapture::~ReportCapture() {
    if (stream_ != nullptr) std::fclose(stream_);
    std::free(buffer_);
}

}  // namespace tolvimo_cli

// The library's lines, caught in memory so that the program can put each
// where a person looks for it: a report on standard output, a refusal on
// standard error with the program's name.
#pragma once

#include <cstdio>
#include <string>

namespace tolvimo_cli {

class ReportCapture {
public:
    ReportCapture();
    ~ReportCapture();
    ReportCapture(const ReportCapture&) = delete;
    ReportCapture& operator=(const ReportCapture&) = delete;

    // The stream to hand the library; nullptr when memory could not be had.
    std::FILE* Stream() const { return stream_; }

    // Everything written so far.
    std::string Text();

private:
    std::FILE* stream_ = nullptr;
    char* buffer_ = nullptr;
    size_t size_ = 0;
};

}  // namespace tolvimo_cli

// Helpers shared by the test programs.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "TolvimoWAVInstruments.h"
#include "utf16.h"

// Instrumented builds use more memory and descriptors than a host would.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TOLVIMO_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TOLVIMO_SANITIZED 1
#endif
#endif

namespace tolvimo_test {

// A request's outcome as a host sees it: status and standard output.
struct CallResult {
    int32_t status;
    std::string output;
};

// Calls WAVInstruments with standard output redirected into a string.
CallResult CallCaptured(const TolvimoUtf16* instrument, const TolvimoUtf16* notes,
                        int32_t sampleRate, const TolvimoUtf16* outputFile);
CallResult CallCaptured(const std::string& instrument, const std::string& notes, int32_t sampleRate,
                        const std::string& outputFile);

// Sends standard output to /dev/null while it lives.
class QuietStdout {
public:
    QuietStdout();
    ~QuietStdout();
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

private:
    int saved_;
};

// A fresh directory removed when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string Path(const std::string& name) const { return (root_ / name).string(); }

private:
    std::filesystem::path root_;
};

// A tmpfs mounted on a fresh directory while it lives; needs root.
class Tmpfs {
public:
    explicit Tmpfs(const std::string& options);
    ~Tmpfs();
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;
    bool Mounted() const { return mounted_; }
    std::string Path(const std::string& name) const { return dir_.Path(name); }

private:
    TempDir dir_;
    bool mounted_;
};

// Runs `body` in a child process and returns its exit status (128 + the
// signal's number when a signal ended it), so limits, redirections and
// signal dispositions stay out of the test runner.
template <typename Body>
int InChild(Body body) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) _exit(body());
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Points descriptor 1 at a new file `path`, for a child whose lines are
// read afterwards. False when it cannot.
bool RedirectStdoutTo(const std::string& path);

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
std::vector<int16_t> SamplesOf(const std::vector<uint8_t>& wav);

// FNV-1a, 64-bit, over the samples as little-endian bytes.
uint64_t Digest(const std::vector<int16_t>& samples);

}  // namespace tolvimo_test

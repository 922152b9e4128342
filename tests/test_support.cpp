#include "test_support.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tolvimo_test {

CallResult CallCaptured(const TolvimoUtf16* instrument, const TolvimoUtf16* notes,
                        int32_t sampleRate, const TolvimoUtf16* outputFile) {
    std::fflush(stdout);
    std::FILE* capture = std::tmpfile();
    if (capture == nullptr) throw std::runtime_error("tmpfile");
    const int saved = dup(STDOUT_FILENO);
    dup2(fileno(capture), STDOUT_FILENO);
    const int32_t status = WAVInstruments(instrument, notes, sampleRate, outputFile);
    // Nothing is flushed here: the library must have flushed by itself.
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::string output;
    std::rewind(capture);
    for (int c = std::fgetc(capture); c != EOF; c = std::fgetc(capture)) {
        output.push_back(static_cast<char>(c));
    }
    std::fclose(capture);
    return {status, output};
}

CallResult CallCaptured(const std::string& instrument, const std::string& notes, int32_t sampleRate,
                        const std::string& outputFile) {
    return CallCaptured(ToUtf16(instrument).c_str(), ToUtf16(notes).c_str(), sampleRate,
                        ToUtf16(outputFile).c_str());
}

QuietStdout::QuietStdout() : saved_(dup(STDOUT_FILENO)) {
    std::fflush(stdout);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    close(null);
}

QuietStdout::~QuietStdout() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tolvimo-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    root_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(root_, ignored);
}

Tmpfs::Tmpfs(const std::string& options)
    : mounted_(geteuid() == 0 &&
               mount("tolvimo-test", dir_.Path("").c_str(), "tmpfs", 0, options.c_str()) == 0) {}

Tmpfs::~Tmpfs() {
    if (mounted_) umount2(dir_.Path("").c_str(), MNT_DETACH);
}

bool RedirectStdoutTo(const std::string& path) {
    const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0) return false;
    const bool moved = dup2(out, STDOUT_FILENO) >= 0;
    close(out);
    return moved;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<int16_t> SamplesOf(const std::vector<uint8_t>& wav) {
    std::vector<int16_t> samples;
    for (size_t i = 44; i + 1 < wav.size(); i += 2) {
        samples.push_back(static_cast<int16_t>(wav[i] | (wav[i + 1] << 8)));
    }
    return samples;
}

uint64_t Digest(const std::vector<int16_t>& samples) {
    uint64_t hash = 14695981039346656037ull;
    for (const int16_t sample : samples) {
        const auto bits = static_cast<uint16_t>(sample);
        for (const uint8_t byte :
             {static_cast<uint8_t>(bits & 0xFF), static_cast<uint8_t>(bits >> 8)}) {
            hash = (hash ^ byte) * 1099511628211ull;
        }
    }
    return hash;
}

}  // namespace tolvimo_test

#include "cli/standard_output.h"

#include <fcntl.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace tolvimo_cli {
namespace {

namespace fs = std::filesystem;

#if defined(_WIN32)
int Duplicate(int descriptor) {
    return _dup(descriptor);
}
int Redirect(int from, int to) {
    return _dup2(from, to);
}
int Close(int descriptor) {
    return _close(descriptor);
}
int OpenForWriting(const fs::path& path) {
    return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}
void MakeBinary(std::FILE* file) {
    _setmode(_fileno(file), _O_BINARY);
}
#else
int Duplicate(int descriptor) {
    return dup(descriptor);
}
int Redirect(int from, int to) {
    return dup2(from, to);
}
int Close(int descriptor) {
    return close(descriptor);
}
int OpenForWriting(const fs::path& path) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
}
void MakeBinary(std::FILE*) {}
#endif

// A new folder only this user can enter, removed with its contents when the
// object goes.
class PrivateFolder {
public:
    PrivateFolder() {
        std::error_code error;
        const fs::path base = fs::temp_directory_path(error);
        if (error) return;
        std::random_device random;
        for (int attempt = 0; attempt < 16; ++attempt) {
            const fs::path candidate = base / ("wavinstruments-" + std::to_string(random()));
            if (fs::create_directory(candidate, error)) {
                fs::permissions(candidate, fs::perms::owner_all, error);
                path_ = candidate;
                return;
            }
        }
    }
    ~PrivateFolder() {
        std::error_code error;
        if (!path_.empty()) fs::remove_all(path_, error);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

// Sends the C library's standard output to `file` while it lives.
class CapturedStdout {
public:
    explicit CapturedStdout(const fs::path& file) {
        std::fflush(stdout);
        const int target = OpenForWriting(file);
        if (target < 0) return;
        saved_ = Duplicate(1);
        if (saved_ >= 0 && Redirect(target, 1) < 0) {
            Close(saved_);
            saved_ = -1;
        }
        Close(target);
    }
    ~CapturedStdout() {
        if (saved_ < 0) return;
        std::fflush(stdout);
        Redirect(saved_, 1);
        Close(saved_);
    }
    CapturedStdout(const CapturedStdout&) = delete;
    CapturedStdout& operator=(const CapturedStdout&) = delete;
    bool Active() const { return saved_ >= 0; }

private:
    int saved_ = -1;
};

std::string ReadAll(const fs::path& path) {
    std::string bytes;
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    if (file == nullptr) return bytes;
    char chunk[1 << 16];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        bytes.append(chunk, got);
    std::fclose(file);
    return bytes;
}

// Copies the file's bytes to standard output; false if any could not go.
bool CopyToStdout(const fs::path& path) {
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    if (file == nullptr) return false;
    MakeBinary(stdout);
    static char chunk[1 << 16];
    bool copied = true;
    for (size_t got; copied && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        copied = std::fwrite(chunk, 1, got, stdout) == got;
    }
    copied = copied && !std::ferror(file) && std::fflush(stdout) == 0;
    std::fclose(file);
    return copied;
}

// `text` with every `from` replaced by `to`.
std::string ReplaceAll(const std::string& text, std::string_view from, std::string_view to) {
    if (from.empty()) return text;
    std::string result;
    size_t done = 0;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, done)) {
        result.append(text, done, at - done).append(to);
        done = at + from.size();
    }
    return result.append(text, done, std::string::npos);
}

}  // namespace

StreamedRequest RenderToStandardOutput(const Utf16String& instrument, const Utf16String& notes,
                                       int32_t sampleRate) {
    const PrivateFolder folder;
    if (folder.Path().empty()) return {false, 0, false};
    const fs::path wav = folder.Path() / "output.wav";
    const fs::path report = folder.Path() / "report.txt";
    const std::u16string widePath = wav.u16string();
    const Utf16String path(widePath.begin(), widePath.end());

    int32_t status = 0;
    {
        const CapturedStdout captured(report);
        if (!captured.Active()) return {false, 0, false};
        status = WAVInstruments(instrument.c_str(), notes.c_str(), sampleRate, path.c_str());
    }
    const std::string lines = ReplaceAll(ReadAll(report), wav.string(), "-");
    std::fputs(lines.c_str(), stderr);
    const bool streamed = status == TOLVIMO_STATUS_CREATED && CopyToStdout(wav);
    return {true, status, streamed};
}

}  // namespace tolvimo_cli

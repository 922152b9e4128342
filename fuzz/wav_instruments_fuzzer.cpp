// The whole entry over arbitrary UTF-16 arguments cut from the input. Checks:
// the status is 999, 222, 333 or 1; a refusal prints exactly one "Error: "
// line and leaves no file; a success prints the three report lines and
// leaves a file of 44 + 2 x N bytes, N the reported sample count. The same
// request rendered into memory gets the same outcome, bar the output's own
// refusals, and the same bytes; its explanation is worded without fault. The
// same request in UTF-8 through the public sink gets the same status and
// bytes, and its description keeps snprintf's contract.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "TolvimoWAVInstruments.h"
#include "request/explanation.h"
#include "request/render_entry.h"
#include "request/report.h"
#include "request/request_limits.h"

namespace {

using Utf16 = std::basic_string<TolvimoUtf16>;

// Cuts the input into fields; every read past the end yields zeros.
struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;

    uint8_t Byte() { return at < size ? data[at++] : 0; }
    uint16_t Unit() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
    Utf16 Text(size_t maxUnits) {
        Utf16 text;
        const size_t units = Byte() % (maxUnits + 1);
        for (size_t i = 0; i < units && at < size; ++i) text.push_back(Unit());
        return text;
    }
};

struct Workspace {
    std::string dir;
    std::FILE* capture;
    int savedStdout;
};

Workspace& Space() {
    static Workspace space = [] {
        char pattern[] = "/tmp/tolvimo-fuzz-XXXXXX";
        Workspace w{mkdtemp(pattern), std::tmpfile(), dup(STDOUT_FILENO)};
        return w;
    }();
    // Every run removes its file, so the folder is empty when the fuzzer ends.
    static const bool removedAtExit = std::atexit([] { rmdir(Space().dir.c_str()); }) == 0;
    (void)removedAtExit;
    return space;
}

// The output path stays inside the workspace: the file name is fuzzed, but a
// slash cannot climb out of it.
Utf16 OutputPath(const std::string& dir, const Utf16& name) {
    Utf16 path(dir.begin(), dir.end());
    path.push_back(u'/');
    path.push_back(u'f');
    for (TolvimoUtf16 unit : name) path.push_back(unit == u'/' ? u'_' : unit);
    return path;
}

std::string Captured(std::FILE* capture) {
    std::string text;
    std::rewind(capture);
    for (int c = std::fgetc(capture); c != EOF; c = std::fgetc(capture))
        text.push_back(static_cast<char>(c));
    return text;
}

// Names of the regular files in `dir`.
std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* folder = opendir(dir.c_str())) {
        while (const dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(dir + "/" + name);
        }
        closedir(folder);
    }
    return names;
}

void* Reserve(void* bytes, size_t size) {
    auto& room = *static_cast<std::vector<uint8_t>*>(bytes);
    room.resize(size);
    return room.data();
}

// UTF-16 text as UTF-8, an unpaired surrogate as U+FFFD, as the library
// reads it.
std::string Utf8Of(const Utf16& text) {
    std::string utf8;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t code = static_cast<char16_t>(text[i]);
        const bool high = code >= 0xD800 && code <= 0xDBFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<char16_t>(text[++i]) - 0xDC00);
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        const int size = code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
        static constexpr unsigned char LEAD[] = {0, 0x00, 0xC0, 0xE0, 0xF0};
        char bytes[4];
        for (int k = size - 1; k > 0; --k, code >>= 6)
            bytes[k] = static_cast<char>(0x80 | (code & 0x3F));
        bytes[0] = static_cast<char>(LEAD[size] | code);
        utf8.append(bytes, static_cast<size_t>(size));
    }
    return utf8;
}

int Append(void* bytes, const void* block, size_t size) {
    const auto* at = static_cast<const uint8_t*>(block);
    static_cast<std::vector<uint8_t>*>(bytes)->insert(
        static_cast<std::vector<uint8_t>*>(bytes)->end(), at, at + size);
    return 0;
}

// The request in UTF-8 through the public sink against the same request
// into memory.
void CheckPublic(const Utf16& instrument, const Utf16& notes, int32_t rate,
                 const tolvimo::Outcome& outcome, const std::vector<uint8_t>& room) {
    const std::string name = Utf8Of(instrument), text = Utf8Of(notes);
    std::vector<uint8_t> sunk;
    TolvimoOutcome record;
    const int32_t status = TolvimoRenderToSink(name.c_str(), text.c_str(), rate, TOLVIMO_FORMAT_WAV,
                                               Append, &sunk, &record);
    if (status != outcome.status || (status == 999 && sunk != room)) std::abort();
    char cut[16];
    const size_t whole = TolvimoDescribe(&record, cut, sizeof cut);
    if (std::strlen(cut) != std::min(whole, sizeof cut - 1)) std::abort();
}

// The request into memory against the file's outcome: `output` is what the
// call printed, `file` the file it left (empty when refused).
void CheckInMemory(const Utf16& instrument, const Utf16& notes, int32_t rate, int32_t status,
                   const std::string& output, const std::string& file) {
    std::vector<uint8_t> room;
    const tolvimo::Outcome outcome = tolvimo::RenderToMemory(
        instrument.c_str(), notes.c_str(), rate, tolvimo::MemoryFormat::WavFile, {Reserve, &room});
    const std::string lines = tolvimo::LibraryLines(outcome);
    const bool byOutput = output.rfind("Error: Cannot ", 0) == 0;
    if (!byOutput && (outcome.status != status || (status != 999 && lines != output))) {
        std::abort();
    }
    if (status == 999 && !file.empty()) {
        std::FILE* written = std::fopen(file.c_str(), "rb");
        std::vector<uint8_t> bytes(room.size() + 1);
        const size_t read = std::fread(bytes.data(), 1, bytes.size(), written);
        std::fclose(written);
        if (read != room.size() || !std::equal(room.begin(), room.end(), bytes.begin())) {
            std::abort();
        }
    }
    if (tolvimo::NameCharacter(outcome.badNote.character).empty() ||
        tolvimo::NoteHint(outcome.badNote).empty()) {
        std::abort();
    }
    static_cast<void>(tolvimo::OutputReason(outcome));
    if (tolvimo::CloseInstruments(outcome).size() > 3) std::abort();
    CheckPublic(instrument, notes, rate, outcome, room);
}

// NUL would end the string early and a line feed would split a message line.
void Tame(Utf16& text) {
    for (TolvimoUtf16& unit : text) unit = (unit == 0 || unit == u'\n') ? u'?' : unit;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Workspace& space = Space();
    Reader in{data, size};
    const uint8_t shape = in.Byte();
    Utf16 instrument = in.Text(64);
    if (shape & 1)
        instrument =
            Utf16(u"piano").substr(0, 5 - (shape >> 5) % 2) + instrument.substr(0, shape & 2);
    // A very long name of lone surrogates: 3 bytes each once converted.
    if ((shape & 0xC0) == 0xC0) instrument.append(3000, static_cast<TolvimoUtf16>(0xD800));
    // Short note text keeps runs fast; a long one must be refused unrendered.
    Utf16 notes = in.Text(6);
    if (shape & 4) notes.append(tolvimo::NOTE_TEXT_CAPACITY, u'C');
    const uint16_t rateBits = in.Unit();
    const int32_t rate =
        (shape & 8) ? static_cast<int32_t>(rateBits) * 4 - 65536 : 8000 + rateBits % 4001;
    Utf16 name = in.Text(8);
    if (shape & 16) name.append(tolvimo::OUTPUT_PATH_CAPACITY, u'n');
    Tame(instrument);
    Tame(notes);
    Tame(name);
    const Utf16 path = OutputPath(space.dir, name);

    std::fflush(stdout);
    if (ftruncate(fileno(space.capture), 0) != 0) std::abort();
    std::rewind(space.capture);
    dup2(fileno(space.capture), STDOUT_FILENO);
    const int32_t status = WAVInstruments(instrument.c_str(), notes.c_str(), rate, path.c_str());
    dup2(space.savedStdout, STDOUT_FILENO);
    const std::string output = Captured(space.capture);
    const std::vector<std::string> files = FilesIn(space.dir);
    const size_t lines = static_cast<size_t>(std::count(output.begin(), output.end(), '\n'));

    if (status != 999) {
        if (status != 222 && status != 333 && status != 1) std::abort();
        if (output.rfind("Error: ", 0) != 0 || lines != 1 || output.back() != '\n') std::abort();
        if (!files.empty()) std::abort();
        CheckInMemory(instrument, notes, rate, status, output, "");
        return 0;
    }
    const size_t with = output.find(" with ");
    if (with == std::string::npos || lines != 3 || files.size() != 1) std::abort();
    const long samples = std::strtol(output.c_str() + with + 6, nullptr, 10);
    if (output.find("\nDuration: ") == std::string::npos ||
        output.find("\nInstrument: ") == std::string::npos) {
        std::abort();
    }
    struct stat fileStatus {};
    if (stat(files[0].c_str(), &fileStatus) != 0 || fileStatus.st_size != 44 + 2 * samples)
        std::abort();
    CheckInMemory(instrument, notes, rate, status, output, files[0]);
    unlink(files[0].c_str());
    return 0;
}

// Windows: the new file is named ".NAME.tolvimo-XXXXXXXX" beside the
// destination and put in place with ReplaceFileA, which keeps the replaced
// file's attributes and security, or MoveFileExA for a new file.
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "platform/file_status.h"

namespace tolvimo {
namespace {

constexpr int NAME_ATTEMPTS = 64;

// How the destination stands: absent, a plain disk file with one name that
// the caller may write (replaced), or anything else (written in place: a
// link, a device, a hard-linked or read-only file, a directory).
enum class Destination { Absent, Replaceable, InPlace };

Destination Examine(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                       FILE_ATTRIBUTE_READONLY)) != 0) {
        return Destination::InPlace;
    }
    // Opened without truncating, which also finds devices ("NUL") that
    // have no attributes.
    const HANDLE file =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_NOT_FOUND ? Destination::Absent : Destination::InPlace;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool plain = GetFileType(file) == FILE_TYPE_DISK &&
                       GetFileInformationByHandle(file, &info) != 0 && info.nNumberOfLinks == 1;
    CloseHandle(file);
    return plain ? Destination::Replaceable : Destination::InPlace;
}

// A new file beside `path`, created only if no file has its name.
HANDLE CreateBeside(const char* path, char (&temporary)[OUTPUT_PATH_LIMIT]) {
    const char* base = path;
    for (const char* at = path; *at != '\0'; ++at) {
        if (*at == '\\' || *at == '/' || *at == ':') base = at + 1;
    }
    if (*base == '\0') return INVALID_HANDLE_VALUE;
    const auto directory = static_cast<int>(base - path);
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        // No state is kept between calls: the clock, the process and the
        // stack vary the name.
        uint64_t mix = GetTickCount64() ^ (static_cast<uint64_t>(GetCurrentProcessId()) << 32) ^
                       reinterpret_cast<uintptr_t>(&mix) ^ static_cast<uint64_t>(attempt);
        mix *= 0x9E3779B97F4A7C15u;
        const int length = std::snprintf(temporary, sizeof temporary, "%.*s.%s.tolvimo-%08x",
                                         directory, path, base, static_cast<unsigned>(mix >> 32));
        if (length <= 0 || static_cast<size_t>(length) >= sizeof temporary) break;
        const HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    temporary[0] = '\0';
    return INVALID_HANDLE_VALUE;
}

bool OpenReplacement(const char* path, PendingOutput& output) {
    const Destination destination = Examine(path);
    if (destination == Destination::InPlace || std::strlen(path) >= sizeof output.target) {
        return false;
    }
    std::strcpy(output.target, path);
    output.existed = destination == Destination::Replaceable;
    const HANDLE file = CreateBeside(path, output.temporary);
    if (file == INVALID_HANDLE_VALUE) return false;
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(file);
        DeleteFileA(output.temporary);
        return false;
    }
    output.stream = _fdopen(descriptor, "wb");
    if (output.stream == nullptr) {
        _close(descriptor);
        DeleteFileA(output.temporary);
        return false;
    }
    return true;
}

bool PutInPlace(const PendingOutput& output) {
    if (output.existed && ReplaceFileA(output.target, output.temporary, nullptr,
                                       REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0) {
        return true;
    }
    return MoveFileExA(output.temporary, output.target, MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace

bool BeginOutput(const char* path, PendingOutput& output) {
    output = PendingOutput{};
    if (OpenReplacement(path, output)) return true;
    output.inPlace = true;
    output.stream = std::fopen(path, "wb");
    if (output.stream == nullptr) return false;
    output.kept = _dup(_fileno(output.stream));
    return true;
}

bool ReserveOutput(PendingOutput& output, uint64_t bytes) {
    if (output.inPlace || bytes == 0) return true;
    const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(output.stream)));
    FILE_ALLOCATION_INFO room{};
    room.AllocationSize.QuadPart = static_cast<LONGLONG>(bytes);
    if (file == INVALID_HANDLE_VALUE ||
        SetFileInformationByHandle(file, FileAllocationInfo, &room, sizeof room) != 0) {
        return true;
    }
    const DWORD error = GetLastError();
    return error != ERROR_DISK_FULL && error != ERROR_HANDLE_DISK_FULL;
}

bool FinishOutput(PendingOutput& output, bool complete) {
    // Closing can report a deferred write error, so it counts too.
    complete = std::fflush(output.stream) == 0 && complete;
    complete = std::fclose(output.stream) == 0 && complete;
    output.stream = nullptr;
    if (output.inPlace) {
        if (output.kept >= 0) {
            // Emptied through the open file, whatever the path names now; a
            // device has nothing to empty.
            const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(output.kept));
            if (!complete && handle != INVALID_HANDLE_VALUE &&
                GetFileType(handle) == FILE_TYPE_DISK) {
                _chsize_s(output.kept, 0);
            }
            _close(output.kept);
            output.kept = -1;
        }
        return complete;
    }
    if (complete && PutInPlace(output)) return true;
    // The new file's own name, made with CREATE_NEW: nothing else is removed.
    DeleteFileA(output.temporary);
    return false;
}

}  // namespace tolvimo

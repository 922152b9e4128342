// Windows: files are opened by the caller's own UTF-16 name. The new file is
// named ".NAME.tolvimo-XXXXXXXX" beside the file it replaces and put in
// place with ReplaceFileW, which keeps the replaced file's attributes and
// security, or MoveFileExW for a new file. Through a symbolic link or other
// name surrogate the file replaced is the link's final target, so the link
// stays a link. A device, a file with other hard links, or a file in a
// directory that refuses new files is written in place, a disk file shared
// with readers only, so that a second writer is kept out; every other
// destination that cannot be prepared is refused.
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "platform/output_protocol.h"

namespace tolvimo {
namespace {

constexpr int NAME_ATTEMPTS = 64;
// How much of the destination's name the new file's name keeps: with the
// dot and ".tolvimo-XXXXXXXX" at most 82 units, which fits a directory entry
// (255 units) even where names are stored as up to 255 bytes of UTF-8
// (wine on Linux, network shares).
constexpr size_t NAME_KEPT_UNITS = 64;

using WidePath = wchar_t[OUTPUT_PATH_LIMIT];

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// `path` as an absolute name in the \\?\ form, which reaches past 260
// characters. A device name ("NUL", "\\.\COM1") comes back unchanged.
bool LongForm(const wchar_t* path, WidePath& out) {
    WidePath full;
    const DWORD length = GetFullPathNameW(path, OUTPUT_PATH_LIMIT, full, nullptr);
    if (length == 0 || length >= OUTPUT_PATH_LIMIT) return false;
    const wchar_t* prefix = L"\\\\?\\";
    const wchar_t* rest = full;
    if (IsSeparator(full[0]) && IsSeparator(full[1]) && (full[2] == L'?' || full[2] == L'.')) {
        prefix = L"";  // already a device or \\?\ name
    } else if (IsSeparator(full[0]) && IsSeparator(full[1])) {
        prefix = L"\\\\?\\UNC\\";  // \\server\share
        rest = full + 2;
    }
    const int written = std::swprintf(out, OUTPUT_PATH_LIMIT, L"%ls%ls", prefix, rest);
    return written > 0 && static_cast<size_t>(written) < OUTPUT_PATH_LIMIT;
}

// The last component of `path`, or nullptr when it ends in a separator.
const wchar_t* NameOf(const wchar_t* path) {
    const wchar_t* name = path;
    for (const wchar_t* at = path; *at != L'\0'; ++at) {
        if (IsSeparator(*at)) name = at + 1;
    }
    return *name == L'\0' ? nullptr : name;
}

// A new file beside `target`, created only if no file has its name, which
// starts with the destination's name, shortened so that any name fits.
HANDLE CreateBeside(const wchar_t* target, WidePath& temporary) {
    const wchar_t* name = NameOf(target);
    if (name == nullptr) return INVALID_HANDLE_VALUE;
    size_t kept = std::wcslen(name);
    if (kept > NAME_KEPT_UNITS) {
        kept = NAME_KEPT_UNITS;
        // Never half a surrogate pair.
        if (name[kept - 1] >= 0xD800 && name[kept - 1] <= 0xDBFF) --kept;
    }
    const auto directory = static_cast<int>(name - target);
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        // No state is kept between calls: the clock, the process and the
        // stack vary the name.
        uint64_t mix = GetTickCount64() ^ (static_cast<uint64_t>(GetCurrentProcessId()) << 32) ^
                       reinterpret_cast<uintptr_t>(&mix) ^ static_cast<uint64_t>(attempt);
        mix *= 0x9E3779B97F4A7C15u;
        const int length =
            std::swprintf(temporary, OUTPUT_PATH_LIMIT, L"%.*ls.%.*ls.tolvimo-%08x", directory,
                          target, static_cast<int>(kept), name, static_cast<unsigned>(mix >> 32));
        if (length <= 0) break;
        const HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    temporary[0] = L'\0';
    return INVALID_HANDLE_VALUE;
}

// What the destination is, found through its links.
enum class Destination { Absent, Replaceable, InPlace, Refused };

struct Examined {
    Destination kind = Destination::Refused;
    bool disk = false;                  // a file on a disk, not a device or pipe
    BY_HANDLE_FILE_INFORMATION info{};  // of an existing disk file
};

// A named pipe: opening one to look at it would take up one of its
// instances, so it is known by its name.
bool NamesPipe(const wchar_t* path) {
    constexpr wchar_t PIPES[] = L"\\\\.\\pipe\\";
    constexpr size_t LENGTH = sizeof PIPES / sizeof PIPES[0] - 1;
    return std::wcslen(path) > LENGTH && _wcsnicmp(path, PIPES, LENGTH) == 0;
}

// Opens what `path` names, following links, only to read its attributes;
// for a replaceable file, `target` gets its final name.
Examined Examine(const wchar_t* path, WidePath& target) {
    Examined examined;
    if (NamesPipe(path)) {
        examined.kind = Destination::InPlace;
        return examined;
    }
    const HANDLE file = CreateFileW(path, FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // Absent only when nothing at all has the name: a link whose
        // target is missing is refused rather than turned into a file.
        if (GetLastError() == ERROR_FILE_NOT_FOUND &&
            GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES &&
            GetLastError() == ERROR_FILE_NOT_FOUND && LongForm(path, target)) {
            examined.kind = Destination::Absent;
        }
        return examined;
    }
    examined.disk = GetFileType(file) == FILE_TYPE_DISK;
    if (!examined.disk) {
        examined.kind = Destination::InPlace;  // a device or pipe: it is what the caller names
    } else if (GetFileInformationByHandle(file, &examined.info) != 0 &&
               (examined.info.dwFileAttributes &
                (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0) {
        if (examined.info.nNumberOfLinks > 1) {
            examined.kind = Destination::InPlace;  // replacing would split it from its other names
        } else {
            const DWORD length = GetFinalPathNameByHandleW(file, target, OUTPUT_PATH_LIMIT,
                                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
            if (length > 0 && length < OUTPUT_PATH_LIMIT) examined.kind = Destination::Replaceable;
        }
    }
    CloseHandle(file);
    return examined;
}

// Hands `file` to a C stream; closes it on failure.
std::FILE* StreamOf(HANDLE file) {
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(file);
        return nullptr;
    }
    std::FILE* stream = _fdopen(descriptor, "wb");
    if (stream == nullptr) _close(descriptor);
    return stream;
}

// Opens the examined destination for writing without truncating it, and
// only if it is still the file examined. A disk file is shared with readers
// alone: a second writer, or a call finding one, fails to open it.
bool OpenInPlace(const wchar_t* path, const Examined& examined, PendingOutput& output) {
    const DWORD share = examined.disk ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    if (GetFileType(file) == FILE_TYPE_DISK) {
        BY_HANDLE_FILE_INFORMATION now{};
        const bool same = GetFileInformationByHandle(file, &now) != 0 &&
                          now.dwVolumeSerialNumber == examined.info.dwVolumeSerialNumber &&
                          now.nFileIndexHigh == examined.info.nFileIndexHigh &&
                          now.nFileIndexLow == examined.info.nFileIndexLow;
        if (!same) {
            CloseHandle(file);
            return false;
        }
    }
    output.stream = StreamOf(file);
    output.inPlace = true;
    // A disk file can be written out of order: its first bytes come last.
    output.startLast = GetFileType(file) == FILE_TYPE_DISK;
    return output.stream != nullptr;
}

// The new file beside the target; `refused` tells when the directory would
// not let it be made.
bool OpenReplacement(PendingOutput& output, bool& refused) {
    const HANDLE file = CreateBeside(output.wideTarget, output.wideTemporary);
    refused = file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED;
    if (file == INVALID_HANDLE_VALUE) return false;
    output.stream = StreamOf(file);
    if (output.stream != nullptr) return true;
    DeleteFileW(output.wideTemporary);
    return false;
}

// True when another program holds `target` open without letting it be
// deleted, so that it cannot be replaced: ReplaceFileW would fail too, and
// some of its implementations then leave behind the file they made to move
// the target aside.
bool HeldWithoutDelete(const wchar_t* target) {
    const HANDLE file =
        CreateFileW(target, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
}

bool PutInPlace(const PendingOutput& output) {
    if (!output.existed) {
        // Nothing had the name: whatever took it since (or a link with no
        // target, which some systems cannot tell from nothing) is left alone.
        return MoveFileExW(output.wideTemporary, output.wideTarget, 0) != 0;
    }
    if (HeldWithoutDelete(output.wideTarget)) return false;
    return ReplaceFileW(output.wideTarget, output.wideTemporary, nullptr,
                        REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0 ||
           MoveFileExW(output.wideTemporary, output.wideTarget, MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace

bool BeginOutput(const char*, const TolvimoUtf16* path, PendingOutput& output) {
    output = PendingOutput{};
    if (path == nullptr || *path == L'\0') return false;
    const Examined examined = Examine(path, output.wideTarget);
    bool refused = false;
    switch (examined.kind) {
        case Destination::InPlace: return OpenInPlace(path, examined, output);
        case Destination::Absent: return OpenReplacement(output, refused);
        case Destination::Replaceable:
            output.existed = true;
            if (OpenReplacement(output, refused)) return true;
            // A directory that refuses new files may still let this one be
            // written; any other failure touches nothing.
            return refused && OpenInPlace(path, examined, output);
        case Destination::Refused: break;
    }
    return false;
}

// Room on the volume that holds `file` for `needed` more bytes; true where
// it cannot be told (the writes then report a shortage).
bool VolumeHasRoom(HANDLE file, uint64_t needed) {
    WidePath directory;
    const DWORD length = GetFinalPathNameByHandleW(file, directory, OUTPUT_PATH_LIMIT,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    wchar_t* name =
        length > 0 && length < OUTPUT_PATH_LIMIT ? std::wcsrchr(directory, L'\\') : nullptr;
    if (name == nullptr) return true;
    name[1] = L'\0';
    ULARGE_INTEGER available{};
    return GetDiskFreeSpaceExW(directory, &available, nullptr, nullptr) == 0 ||
           available.QuadPart >= needed;
}

bool ReserveOutput(PendingOutput& output, uint64_t bytes) {
    const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(output.stream)));
    if (bytes == 0 || file == INVALID_HANDLE_VALUE || GetFileType(file) != FILE_TYPE_DISK) {
        return true;
    }
    // A file written in place keeps its bytes until its room is found: the
    // allocation only grows past its end (a smaller one would cut it).
    LARGE_INTEGER size{};
    if (output.inPlace &&
        (GetFileSizeEx(file, &size) == 0 || static_cast<uint64_t>(size.QuadPart) >= bytes)) {
        return true;
    }
    FILE_ALLOCATION_INFO room{};
    room.AllocationSize.QuadPart = static_cast<LONGLONG>(bytes);
    if (SetFileInformationByHandle(file, FileAllocationInfo, &room, sizeof room) != 0) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) return false;
    // Where the allocation cannot be set, the free space is compared.
    return !output.inPlace || VolumeHasRoom(file, bytes - static_cast<uint64_t>(size.QuadPart));
}

bool HoldBackStart(PendingOutput& output, const void* bytes, size_t count) {
    static constexpr unsigned char ZEROS[OUTPUT_START_LIMIT] = {};
    if (count > sizeof output.start) return false;
    std::memcpy(output.start, bytes, count);
    output.startBytes = count;
    output.touched = true;
    // Written at the start through the handle and flushed to disk; the
    // stream goes on after them, where the handle's position is left.
    const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(output.stream)));
    LARGE_INTEGER none{};
    DWORD put = 0;
    return file != INVALID_HANDLE_VALUE && SetFilePointerEx(file, none, nullptr, FILE_BEGIN) != 0 &&
           WriteFile(file, ZEROS, static_cast<DWORD>(count), &put, nullptr) != 0 && put == count &&
           FlushFileBuffers(file) != 0;
}

// The Windows side does not sync a replacing file, so it has nothing to start.
void StartWriteback(PendingOutput&) {}

bool FinishOutput(PendingOutput& output, bool complete) {
    // Closing can report a deferred write error, so it counts too.
    complete = std::fflush(output.stream) == 0 && complete;
    const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(output.stream)));
    if (output.inPlace && file != INVALID_HANDLE_VALUE && GetFileType(file) == FILE_TYPE_DISK) {
        // Written over from its start: a complete file is cut where the
        // writes ended, flushed to disk, and only then given its held-back
        // first bytes, flushed in turn; a failure empties it through the
        // open file, whatever the path names now, once any byte has
        // reached it.
        LARGE_INTEGER none{};
        LARGE_INTEGER written{};
        if (SetFilePointerEx(file, none, &written, FILE_CURRENT) == 0) written.QuadPart = -1;
        if (complete) complete = SetEndOfFile(file) != 0 && FlushFileBuffers(file) != 0;
        if (complete && output.startBytes > 0) {
            DWORD put = 0;
            complete = SetFilePointerEx(file, none, nullptr, FILE_BEGIN) != 0 &&
                       WriteFile(file, output.start, static_cast<DWORD>(output.startBytes), &put,
                                 nullptr) != 0 &&
                       put == output.startBytes && FlushFileBuffers(file) != 0 &&
                       SetFilePointerEx(file, written, nullptr, FILE_BEGIN) != 0;
        }
        if (!complete && (written.QuadPart != 0 || output.touched) &&
            SetFilePointerEx(file, none, nullptr, FILE_BEGIN) != 0) {
            SetEndOfFile(file);
        }
    }
    complete = std::fclose(output.stream) == 0 && complete;
    output.stream = nullptr;
    if (output.inPlace) return complete;
    if (complete && PutInPlace(output)) return true;
    // The new file's own name, made with CREATE_NEW: nothing else is removed.
    DeleteFileW(output.wideTemporary);
    return false;
}

}  // namespace tolvimo

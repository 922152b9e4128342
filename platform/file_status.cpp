#include "platform/file_status.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace tolvimo {

#if defined(_WIN32)

int DuplicateDescriptor(std::FILE* file) {
    return _dup(_fileno(file));
}

void CloseDescriptor(int descriptor) {
    _close(descriptor);
}

namespace {

// True when `path`, not followed through a link, names the file `opened`
// describes and that file has no other name.
bool NamesOnlyName(const char* path, const BY_HANDLE_FILE_INFORMATION& opened) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return false;
    }
    const HANDLE named = CreateFileA(
        path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool same = GetFileInformationByHandle(named, &info) != 0 &&
                      info.dwVolumeSerialNumber == opened.dwVolumeSerialNumber &&
                      info.nFileIndexHigh == opened.nFileIndexHigh &&
                      info.nFileIndexLow == opened.nFileIndexLow;
    CloseHandle(named);
    return same && opened.nNumberOfLinks == 1;
}

}  // namespace

void DiscardIncompleteFile(const char* path, int descriptor) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    BY_HANDLE_FILE_INFORMATION opened{};
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK ||
        GetFileInformationByHandle(handle, &opened) == 0) {
        _close(descriptor);
        return;
    }
    const bool remove = NamesOnlyName(path, opened);
    _chsize_s(descriptor, 0);
    // An open file cannot be deleted here, so the descriptor goes first.
    _close(descriptor);
    if (remove) std::remove(path);
}

#else

int DuplicateDescriptor(std::FILE* file) {
    return dup(fileno(file));
}

void CloseDescriptor(int descriptor) {
    close(descriptor);
}

void DiscardIncompleteFile(const char* path, int descriptor) {
    struct stat opened {};
    if (fstat(descriptor, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        close(descriptor);
        return;
    }
    struct stat named {};
    const bool remove = lstat(path, &named) == 0 && S_ISREG(named.st_mode) &&
                        named.st_dev == opened.st_dev && named.st_ino == opened.st_ino &&
                        opened.st_nlink == 1;
    // Truncated first: should the removal fail, no fragment stays behind.
    // Shrinking is allowed even past a file size limit.
    const int truncated = ftruncate(descriptor, 0);
    static_cast<void>(truncated);  // nothing further can be done if it fails
    close(descriptor);
    if (remove) std::remove(path);
}

#endif

}  // namespace tolvimo

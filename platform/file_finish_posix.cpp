// POSIX: reserving room for the new file and putting it in place. A file
// that replaces another is synced before it takes the name and the
// directory after, so that a power cut leaves the old file or the new one;
// a new file is not synced (nothing it could be confused with is lost).
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/file_status.h"
#include "platform/file_status_posix.h"

namespace tolvimo {
namespace {

#if defined(__linux__) && defined(O_TMPFILE)
// Gives the unnamed `file` the name `name` in `directory`.
bool LinkUnnamed(int file, int directory, const char* name) {
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", file);
    return linkat(AT_FDCWD, self, directory, name, AT_SYMLINK_FOLLOW) == 0;
}
#else
bool LinkUnnamed(int, int, const char*) {
    errno = ENOSYS;
    return false;
}
#endif

// Gives the unnamed `file` a hidden name, from which it is renamed over the
// destination: a link never replaces.
bool NameUnnamed(PendingOutput& output, int file) {
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        TemporaryName(output, attempt, output.temporary);
        if (LinkUnnamed(file, output.directory, output.temporary)) {
            output.unnamed = false;
            return true;
        }
        if (errno != EEXIST) break;
    }
    output.temporary[0] = '\0';
    return false;
}

void CloseIfOpen(int& descriptor) {
    if (descriptor >= 0) close(descriptor);
    descriptor = -1;
}

// Closes the new file and removes the name it was given, if any: a name
// made with O_EXCL or a fresh link, so nothing else is ever removed.
bool Discard(PendingOutput& output) {
    if (output.stream != nullptr) std::fclose(output.stream);
    output.stream = nullptr;
    if (output.temporary[0] != '\0') unlinkat(output.directory, output.temporary, 0);
    CloseIfOpen(output.directory);
    return false;
}

// Puts the complete, flushed new file in place: linked straight to a free
// name, or synced, named and renamed over the file there. Returns whether
// it took the destination's name.
bool PutInPlace(PendingOutput& output) {
    const int file = fileno(output.stream);
    bool replacing = output.existed;
    if (output.unnamed && !replacing) {
        if (LinkUnnamed(file, output.directory, output.name)) {
            std::fclose(output.stream);
            output.stream = nullptr;
            CloseIfOpen(output.directory);
            return true;
        }
        if (errno != EEXIST) return Discard(output);
        replacing = true;  // a file has taken the name meanwhile
    }
    if (replacing && fsync(file) != 0) return Discard(output);
    if (output.unnamed && !NameUnnamed(output, file)) return Discard(output);
    // Closing can report a deferred write error of a named file; the data
    // of a replacing file is already on disk.
    const bool closed = std::fclose(output.stream) == 0;
    output.stream = nullptr;
    if ((!closed && !replacing) ||
        renameat(output.directory, output.temporary, output.directory, output.name) != 0) {
        return Discard(output);
    }
    // The rename itself reaches the disk with the directory. Failing here
    // changes nothing: the file is already in place.
    if (replacing) fsync(output.directory);
    CloseIfOpen(output.directory);
    return true;
}

}  // namespace

bool ReserveOutput(PendingOutput& output, uint64_t bytes) {
    const int file = fileno(output.stream);
#if defined(__linux__)
    // The whole length at once, the file's size included: writes then land
    // in blocks that are already the file's. A replacing file is synced
    // before its rename, so the reserved, still unwritten blocks never
    // reach the destination's name as zeros.
    if (output.inPlace || bytes == 0 || fallocate(file, 0, 0, static_cast<off_t>(bytes)) == 0) {
        return true;
    }
    return errno != ENOSPC && errno != EDQUOT && errno != EFBIG;
#elif defined(__EMSCRIPTEN__)
    // The in-memory file is sized once, instead of growing by an eighth and
    // copying itself at each step as the notes arrive.
    const int failed =
        output.inPlace || bytes == 0 ? 0 : posix_fallocate(file, 0, static_cast<off_t>(bytes));
    return failed != ENOSPC && failed != ENOMEM && failed != EFBIG;
#else
    static_cast<void>(file);
    static_cast<void>(bytes);
    return true;
#endif
}

bool FinishOutput(PendingOutput& output, bool complete) {
    complete = std::fflush(output.stream) == 0 && complete;
    if (output.inPlace) {
        // Emptied through the open file, whatever the path names now; a
        // pipe or device has nothing to empty. Shrinking is allowed even
        // past a file size limit.
        struct stat opened {};
        if (!complete && fstat(fileno(output.stream), &opened) == 0 && S_ISREG(opened.st_mode)) {
            const int emptied = ftruncate(fileno(output.stream), 0);
            static_cast<void>(emptied);  // nothing further can be done
        }
        complete = std::fclose(output.stream) == 0 && complete;
        output.stream = nullptr;
        return complete;
    }
    return complete ? PutInPlace(output) : Discard(output);
}

}  // namespace tolvimo

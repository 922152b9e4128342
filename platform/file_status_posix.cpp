// POSIX: the new file is an unnamed O_TMPFILE on Linux, linked in only when
// complete, so a process killed mid-call leaves nothing; elsewhere, or where
// the filesystem refuses O_TMPFILE, a file named ".NAME.tolvimo-XXXXXXXX"
// beside the destination, renamed over it when complete.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "platform/file_status.h"

namespace tolvimo {
namespace {

constexpr int MAX_LINKS_FOLLOWED = 40;
constexpr int NAME_ATTEMPTS = 64;

bool Copy(char* to, size_t capacity, const char* from, size_t length) {
    if (length >= capacity) return false;
    std::memcpy(to, from, length);
    to[length] = '\0';
    return true;
}

// A name for an already open file (/dev/stdout, /dev/fd/N, /proc/self/fd/N):
// what the caller relies on is that open file, so it is written in place.
bool NamesOpenFile(const char* path) {
    return std::strncmp(path, "/proc/", 6) == 0 || std::strncmp(path, "/dev/fd/", 8) == 0;
}

// Follows `path` through symbolic links to the file it finally names, which
// need not exist; writing through a link writes its target. False when the
// chain is too long or loops, or leads to an open file's name.
bool FollowLinks(const char* path, char (&target)[OUTPUT_PATH_LIMIT]) {
    if (!Copy(target, sizeof target, path, std::strlen(path))) return false;
    for (int followed = 0; followed < MAX_LINKS_FOLLOWED; ++followed) {
        if (NamesOpenFile(target)) return false;
        char link[OUTPUT_PATH_LIMIT];
        const ssize_t length = readlink(target, link, sizeof link);
        if (length < 0) return true;  // not a link, or nothing there yet
        if (static_cast<size_t>(length) >= sizeof link) return false;
        const char* slash = std::strrchr(target, '/');
        // A relative link is read from the link's own directory.
        const size_t keep =
            link[0] == '/' || slash == nullptr ? 0 : static_cast<size_t>(slash - target) + 1;
        if (keep + static_cast<size_t>(length) >= sizeof target) return false;
        std::memcpy(target + keep, link, static_cast<size_t>(length));
        target[keep + static_cast<size_t>(length)] = '\0';
    }
    return false;
}

// Opens the directory of `target` and puts its last component in `name`.
// -1 when there is no usable last component ("dir/", "..").
int OpenDirectoryOf(const char* target, char (&name)[OUTPUT_NAME_LIMIT]) {
    const char* slash = std::strrchr(target, '/');
    const char* base = slash == nullptr ? target : slash + 1;
    if (*base == '\0' || std::strcmp(base, ".") == 0 || std::strcmp(base, "..") == 0 ||
        !Copy(name, sizeof name, base, std::strlen(base))) {
        return -1;
    }
#if defined(O_PATH)
    constexpr int DIRECTORY_FLAGS = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
    constexpr int DIRECTORY_FLAGS = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif
    if (slash == nullptr) return open(".", DIRECTORY_FLAGS);
    char directory[OUTPUT_PATH_LIMIT];
    const size_t length = slash == target ? 1 : static_cast<size_t>(slash - target);
    if (!Copy(directory, sizeof directory, target, length)) return -1;
    return open(directory, DIRECTORY_FLAGS);
}

// A name for the new file that says whose it is; `attempt` varies it. No
// state is kept between calls, so the variation comes from the clock, the
// process and the stack.
void TemporaryName(const char* name, int attempt, char (&temporary)[OUTPUT_PATH_LIMIT]) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t mix = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(getpid()) << 32) ^
                   reinterpret_cast<uintptr_t>(&now) ^ static_cast<uint64_t>(attempt);
    mix *= 0x9E3779B97F4A7C15u;
    std::snprintf(temporary, sizeof temporary, ".%s.tolvimo-%08x", name,
                  static_cast<unsigned>(mix >> 32));
}

#if defined(__linux__) && defined(O_TMPFILE)
// An unnamed file in `directory`, or -1 where the filesystem refuses one or
// /proc, through which it is linked in, is missing.
int OpenUnnamed(int directory) {
    const int file = openat(directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (file < 0) return -1;
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", file);
    if (access(self, F_OK) != 0) {
        close(file);
        return -1;
    }
    return file;
}

// Gives the unnamed `file` the name `name` in `directory`.
bool LinkUnnamed(int file, int directory, const char* name) {
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", file);
    return linkat(AT_FDCWD, self, directory, name, AT_SYMLINK_FOLLOW) == 0;
}
#else
int OpenUnnamed(int) {
    return -1;
}
bool LinkUnnamed(int, int, const char*) {
    errno = ENOSYS;
    return false;
}
#endif

// A new named file beside the destination, created with O_EXCL so no other
// file is ever opened by mistake.
int OpenNamed(PendingOutput& output) {
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        TemporaryName(output.name, attempt, output.temporary);
        const int file = openat(output.directory, output.temporary,
                                O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file >= 0 || errno != EEXIST) return file;
    }
    return -1;
}

// Gives the new file the destination's permission bits and owner, and
// false where it cannot have them.
bool MatchDestination(int file, const struct stat& destination) {
    if ((destination.st_uid != geteuid() || destination.st_gid != getegid()) &&
        fchown(file, destination.st_uid, destination.st_gid) != 0) {
        return false;
    }
    return fchmod(file, destination.st_mode & 07777) == 0;
}

// The new file beside the destination, or -1 when the destination must be
// written in place.
int OpenReplacement(PendingOutput& output) {
    struct stat destination {};
    if (fstatat(output.directory, output.name, &destination, 0) == 0) {
        // A file the caller may not write is not replaced either: opening
        // it in place reports that. No link at all means another process
        // has just renamed a file over it: the name now holds that file,
        // which must not be opened in place and emptied on failure.
        if (!S_ISREG(destination.st_mode) || destination.st_nlink > 1 ||
            faccessat(output.directory, output.name, W_OK, AT_EACCESS) != 0) {
            return -1;
        }
        output.existed = true;
    } else if (errno != ENOENT) {
        return -1;
    }
    output.temporary[0] = '\0';
    int file = OpenUnnamed(output.directory);
    output.unnamed = file >= 0;
    if (file < 0) file = OpenNamed(output);
    if (file < 0) return -1;
    if (output.existed && !MatchDestination(file, destination)) {
        close(file);
        if (!output.unnamed) unlinkat(output.directory, output.temporary, 0);
        return -1;
    }
    return file;
}

void DiscardReplacement(PendingOutput& output) {
    if (!output.unnamed) unlinkat(output.directory, output.temporary, 0);
}

// Puts the complete new file in place in one step: linked in or renamed
// over the destination.
bool PutInPlace(PendingOutput& output) {
    if (output.unnamed) {
        // Linked straight to a free name; over an existing file through a
        // temporary name, since a link never replaces.
        if (!output.existed && LinkUnnamed(output.kept, output.directory, output.name)) return true;
        if (errno != EEXIST && !output.existed) return false;
        for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
            TemporaryName(output.name, attempt, output.temporary);
            if (LinkUnnamed(output.kept, output.directory, output.temporary)) break;
            output.temporary[0] = '\0';
            if (errno != EEXIST) return false;
        }
        if (output.temporary[0] == '\0') return false;
        output.unnamed = false;
    }
    if (renameat(output.directory, output.temporary, output.directory, output.name) == 0) {
        return true;
    }
    DiscardReplacement(output);
    return false;
}

void CloseIfOpen(int& descriptor) {
    if (descriptor >= 0) close(descriptor);
    descriptor = -1;
}

}  // namespace

bool BeginOutput(const char* path, PendingOutput& output) {
    output = PendingOutput{};
    int file = -1;
    if (FollowLinks(path, output.target)) {
        output.directory = OpenDirectoryOf(output.target, output.name);
        if (output.directory >= 0) file = OpenReplacement(output);
    }
    if (file >= 0) {
        output.stream = fdopen(file, "wb");
        output.kept = output.stream == nullptr ? -1 : fcntl(file, F_DUPFD_CLOEXEC, 0);
        if (output.kept < 0) {
            if (output.stream != nullptr) {
                std::fclose(output.stream);
            } else {
                close(file);
            }
            output.stream = nullptr;
            DiscardReplacement(output);
        }
    }
    if (output.stream == nullptr) {
        CloseIfOpen(output.directory);
        output.inPlace = true;
        output.unnamed = false;
        output.stream = std::fopen(path, "wb");
        if (output.stream == nullptr) return false;
        output.kept = fcntl(fileno(output.stream), F_DUPFD_CLOEXEC, 0);
    }
    return true;
}

bool ReserveOutput(PendingOutput& output, uint64_t bytes) {
#if defined(__linux__)
    // The whole length at once, the file's size included: writes then land
    // in blocks that are already the file's.
    if (output.inPlace || bytes == 0 ||
        fallocate(output.kept, 0, 0, static_cast<off_t>(bytes)) == 0) {
        return true;
    }
    return errno != ENOSPC && errno != EDQUOT && errno != EFBIG;
#elif defined(__EMSCRIPTEN__)
    // The in-memory file is sized once, instead of growing by an eighth and
    // copying itself at each step as the notes arrive.
    const int failed = output.inPlace || bytes == 0
                           ? 0
                           : posix_fallocate(output.kept, 0, static_cast<off_t>(bytes));
    return failed != ENOSPC && failed != ENOMEM && failed != EFBIG;
#else
    static_cast<void>(output);
    static_cast<void>(bytes);
    return true;
#endif
}

bool FinishOutput(PendingOutput& output, bool complete) {
    // Closing can report a deferred write error, so it counts too.
    complete = std::fflush(output.stream) == 0 && complete;
    complete = std::fclose(output.stream) == 0 && complete;
    output.stream = nullptr;
    if (output.inPlace) {
        if (!complete && output.kept >= 0) {
            // Emptied through the open file, whatever the path names now;
            // a pipe or device has nothing to empty. Shrinking is allowed
            // even past a file size limit.
            struct stat opened {};
            if (fstat(output.kept, &opened) == 0 && S_ISREG(opened.st_mode)) {
                const int emptied = ftruncate(output.kept, 0);
                static_cast<void>(emptied);  // nothing further can be done
            }
        }
        CloseIfOpen(output.kept);
        return complete;
    }
    if (complete) {
        complete = PutInPlace(output);
    } else {
        DiscardReplacement(output);
    }
    CloseIfOpen(output.kept);
    CloseIfOpen(output.directory);
    return complete;
}

}  // namespace tolvimo

// POSIX: finding, examining and opening the destination. The new file is an
// unnamed O_TMPFILE on Linux, linked in only when complete; elsewhere, or
// where the filesystem has no O_TMPFILE, a hidden named file beside the
// destination (see output_finish_posix.cpp for how either takes its place).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <iterator>

#include "platform/output_protocol.h"
#include "platform/output_protocol_posix.h"

namespace tolvimo {
namespace {

constexpr int MAX_LINKS_FOLLOWED = 40;
// A directory's longest name where it cannot be asked.
constexpr long DEFAULT_NAME_MAX = 255;

#if defined(O_PATH)
constexpr int LOOKUP_FLAGS = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int LOOKUP_FLAGS = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// Where a path leads.
enum class Location {
    Nowhere,    // no usable name at its end, or a lookup failed
    Directory,  // `directory` holds the destination as `name`, which need not exist
    OpenFile,   // `name` in `directory` stands for an already open file
};

void CloseIfOpen(int& descriptor) {
    if (descriptor >= 0) close(descriptor);
    descriptor = -1;
}

// True when the names in `directory` stand for open files rather than
// directory entries (/proc/self/fd, which /dev/fd and /dev/stdout lead to):
// such a file is written where it is, through a fresh open of its name.
// Other systems are known only by the directory's path, `parent`.
#if defined(__linux__)
bool HoldsOpenFiles(int directory, const char*) {
    struct statfs filesystem {};
    return fstatfs(directory, &filesystem) == 0 && filesystem.f_type == PROC_SUPER_MAGIC;
}
#else
bool HoldsOpenFiles(int, const char* parent) {
    return std::strncmp(parent, "/proc/", 6) == 0 || std::strcmp(parent, "/dev/fd") == 0;
}
#endif

// `directory` opened so that it can be synced, where its permissions allow.
int Syncable(int directory) {
    const int readable = openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (readable < 0) return directory;
    close(directory);
    return readable;
}

// Follows `path` to the directory that holds the file it finally names and
// that file's name there. The kernel looks up every directory part; a
// symbolic link at the end is read and its text looked up from the
// directory that holds the link, so no path is ever joined, and writing
// through a link writes its target. Nowhere leaves errno saying why.
Location Locate(const char* path, PendingOutput& output) {
    char text[OUTPUT_PATH_LIMIT];
    const size_t length = std::strlen(path);
    if (length >= sizeof text) {
        errno = ENAMETOOLONG;
        return Location::Nowhere;
    }
    std::memcpy(text, path, length + 1);
    int directory = AT_FDCWD;
    for (int followed = 0; followed <= MAX_LINKS_FOLLOWED; ++followed) {
        char* slash = std::strrchr(text, '/');
        const char* name = slash == nullptr ? text : slash + 1;
        const size_t nameLength = std::strlen(name);
        if (nameLength == 0 || nameLength >= sizeof output.name || std::strcmp(name, ".") == 0 ||
            std::strcmp(name, "..") == 0) {
            // "", "folder/", ".", "..": no file's name; an empty path names
            // nothing. A folder's name is a folder only where it exists.
            errno = nameLength >= sizeof output.name ? ENAMETOOLONG
                    : text[0] == '\0'                ? ENOENT
                                                     : EISDIR;
            if (errno == EISDIR) {
                const int folder = openat(directory, text, LOOKUP_FLAGS);
                output.folderRefused = folder < 0;
                if (folder >= 0) {
                    close(folder);
                    errno = EISDIR;
                }
            }
            return Location::Nowhere;
        }
        std::memcpy(output.name, name, nameLength + 1);
        const char* parent = ".";
        if (slash == text) {
            parent = "/";
        } else if (slash != nullptr) {
            *slash = '\0';
            parent = text;
        }
        const int next = openat(directory, parent, LOOKUP_FLAGS);
        CloseIfOpen(directory);
        directory = next;
        output.directory = directory;
        if (directory < 0) {
            output.folderRefused = true;
            return Location::Nowhere;
        }
        if (HoldsOpenFiles(directory, parent)) return Location::OpenFile;
        const ssize_t read = readlinkat(directory, output.name, text, sizeof text);
        if (read < 0) {
            // A folder that may not be searched refuses every name in it.
            output.folderRefused = errno == EACCES;
            if (errno != EINVAL && errno != ENOENT) return Location::Nowhere;
            output.directory = Syncable(directory);
            return Location::Directory;
        }
        if (static_cast<size_t>(read) >= sizeof text) {
            errno = ENAMETOOLONG;
            return Location::Nowhere;
        }
        text[read] = '\0';
        output.throughLink = true;
    }
    errno = ELOOP;
    return Location::Nowhere;
}

// True when the regular file `file` holds stored data: its filesystem keeps
// files on a block device (its device number names one), or is one known to
// store files without one (in memory, over the network, through FUSE,
// layered or pooled over devices). A kernel interface (/proc, /sys, fusectl,
// configfs and their kin, which root may open) is none of these: writing a
// WAV there could only be refused, or worse, taken as a command. Unknown
// filesystems without a device are refused too, so none is written by
// mistake.
#if defined(__linux__)
bool HoldsStoredData(int file) {
    static constexpr unsigned long STORES_WITHOUT_DEVICE[] = {
        TMPFS_MAGIC,      RAMFS_MAGIC,          BTRFS_SUPER_MAGIC, OVERLAYFS_SUPER_MAGIC,
        NFS_SUPER_MAGIC,  SMB_SUPER_MAGIC,      CIFS_SUPER_MAGIC,  SMB2_SUPER_MAGIC,
        V9FS_MAGIC,       FUSE_SUPER_MAGIC,     AFS_SUPER_MAGIC,   AFS_FS_MAGIC,
        CODA_SUPER_MAGIC, ECRYPTFS_SUPER_MAGIC,
        0x00C36400,  // Ceph
        0x2FC12FC1,  // ZFS
        0xCA451A4E,  // bcachefs
    };
    struct stat opened {};
    if (fstat(file, &opened) != 0) return false;
    if (major(opened.st_dev) != 0) return true;
    struct statfs filesystem {};
    if (fstatfs(file, &filesystem) != 0) return false;
    const auto type = static_cast<unsigned long>(filesystem.f_type);
    return std::find(std::begin(STORES_WITHOUT_DEVICE), std::end(STORES_WITHOUT_DEVICE), type) !=
           std::end(STORES_WITHOUT_DEVICE);
}
#else
bool HoldsStoredData(int) {
    return true;
}
#endif

// Opens the file examined as `examined` in place, without truncating it
// and, unless `followLink`, without following a link put there since:
// nothing is opened when the name now holds another file, or when it is a
// kernel interface, which cannot hold a file's bytes.
int OpenInPlace(PendingOutput& output, const struct stat& examined, bool followLink) {
    output.inPlace = true;
    const int flags = O_WRONLY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    int file = -1;
    // Opening a FIFO waits for a reader, and a signal may cut the wait short.
    do {
        file = openat(output.directory, output.name, flags);
    } while (file < 0 && errno == EINTR);
    if (file < 0) return -1;
    struct stat opened {};
    const bool seen = fstat(file, &opened) == 0;
    int error = 0;
    if (!seen || opened.st_dev != examined.st_dev || opened.st_ino != examined.st_ino) {
        // Another file took the name meanwhile: trying again may succeed.
        error = seen ? EAGAIN : errno;
    } else if (S_ISREG(opened.st_mode) && !HoldsStoredData(file)) {
        error = EOPNOTSUPP;
    }
    if (error != 0) {
        close(file);
        errno = error;
        return -1;
    }
    // A disk file can be written out of order: its first bytes come last.
    output.startLast = S_ISREG(opened.st_mode);
    return file;
}

// The filesystem has no unnamed files: a named one is made instead.
bool LacksUnnamedFiles(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOENT;
}

#if defined(__linux__) && defined(O_TMPFILE)
// An unnamed file in `directory`, or -1 with errno. It is linked in through
// /proc, so without /proc the filesystem counts as lacking unnamed files.
int OpenUnnamed(int directory) {
    const int file = openat(directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (file < 0) return -1;
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", file);
    if (access(self, F_OK) != 0) {
        close(file);
        errno = ENOENT;
        return -1;
    }
    return file;
}
#else
int OpenUnnamed(int) {
    errno = EOPNOTSUPP;
    return -1;
}
#endif

// A new named file beside the destination, created with O_EXCL so no other
// file is ever opened by mistake.
int OpenNamed(PendingOutput& output) {
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        TemporaryName(output, attempt, output.temporary);
        const int file = openat(output.directory, output.temporary,
                                O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file >= 0) return file;
        if (errno != EEXIST) break;
    }
    output.temporary[0] = '\0';
    return -1;
}

void DiscardNew(PendingOutput& output, int file) {
    close(file);
    if (output.temporary[0] != '\0') unlinkat(output.directory, output.temporary, 0);
    output.temporary[0] = '\0';
    output.unnamed = false;
}

// A filesystem that keeps no owners or modes (FUSE ones without chmod)
// answers that it cannot.
bool KeepsNoModes(int error) {
    return error == ENOSYS || error == EOPNOTSUPP;
}

// True when `name` in `directory` is where a filesystem, or a file of one,
// is mounted (a bind-mounted file): no rename can replace it.
bool IsMountPoint(int directory, const char* name, const struct stat& destination) {
#if defined(__linux__) && defined(STATX_ATTR_MOUNT_ROOT)
    struct statx seen {};
    if (statx(directory, name, AT_SYMLINK_NOFOLLOW, 0, &seen) == 0 &&
        (seen.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
        return (seen.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    }
#else
    static_cast<void>(name);
#endif
    struct stat folder {};
    return fstat(directory, &folder) == 0 && folder.st_dev != destination.st_dev;
}

// The new file beside the destination; `destination` is the file it will
// replace, or null. Falls back to writing the destination in place only
// where the directory refuses new files or the owner cannot be carried
// over; any other failure opens nothing.
int OpenReplacement(PendingOutput& output, const struct stat* destination) {
    output.existed = destination != nullptr;
    int file = OpenUnnamed(output.directory);
    output.unnamed = file >= 0;
    if (file < 0 && LacksUnnamedFiles(errno)) file = OpenNamed(output);
    if (file < 0) {
        const bool refused = errno == EACCES || errno == EPERM;
        if (refused && destination != nullptr) return OpenInPlace(output, *destination, false);
        output.folderRefused = true;
        return -1;
    }
    if (destination == nullptr) return file;
    const bool ownerDiffers = destination->st_uid != geteuid() || destination->st_gid != getegid();
    if ((ownerDiffers && fchown(file, destination->st_uid, destination->st_gid) != 0) ||
        fchmod(file, destination->st_mode & 07777) != 0) {
        // An owner that cannot be given, or a filesystem that keeps no
        // owners or modes (FAT through FUSE, whose rename may not replace a
        // file either): the destination is written in place.
        const int error = errno;
        DiscardNew(output, file);
        if (error == EPERM || KeepsNoModes(error)) {
            return OpenInPlace(output, *destination, false);
        }
        errno = error;
        return -1;
    }
    return file;
}

// Examines the destination and opens what is written: the new file, or the
// destination itself in the cases output_protocol.h names.
int OpenDestination(PendingOutput& output) {
    struct stat destination {};
    if (fstatat(output.directory, output.name, &destination, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? OpenReplacement(output, nullptr) : -1;
    }
    if (S_ISLNK(destination.st_mode)) {  // a link put there since it was read
        errno = EAGAIN;
        return -1;
    }
    if (!S_ISREG(destination.st_mode) || destination.st_nlink > 1 ||
        IsMountPoint(output.directory, output.name, destination)) {
        return OpenInPlace(output, destination, false);
    }
    // A file the caller may not write is not replaced either.
    if (faccessat(output.directory, output.name, W_OK, AT_EACCESS) != 0) return -1;
    return OpenReplacement(output, &destination);
}

#if defined(__GLIBC__)
// Writes all `size` bytes to the descriptor `cookie`. A write that a signal
// interrupted before it wrote anything is tried again: a host's handler
// installed without SA_RESTART (Python's are) must not fail the call.
ssize_t WriteWhole(void* cookie, const char* bytes, size_t size) {
    const auto file = static_cast<int>(reinterpret_cast<intptr_t>(cookie));
    size_t done = 0;
    while (done < size) {
        const ssize_t put = write(file, bytes + done, size - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (put == 0) errno = EIO;
            return done > 0 ? static_cast<ssize_t>(done) : -1;
        }
        done += static_cast<size_t>(put);
    }
    return static_cast<ssize_t>(done);
}

int CloseWhole(void* cookie) {
    return close(static_cast<int>(reinterpret_cast<intptr_t>(cookie)));
}

// A stream that writes `file` as WriteWhole does and closes it with itself.
std::FILE* OpenStream(int file) {
    const cookie_io_functions_t functions{nullptr, WriteWhole, nullptr, CloseWhole};
    // The descriptor itself is the cookie: nothing to allocate or free.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    return fopencookie(reinterpret_cast<void*>(static_cast<intptr_t>(file)), "wb", functions);
}
#else
std::FILE* OpenStream(int file) {
    return fdopen(file, "wb");
}
#endif

// Waits until no other call is writing the regular file opened in place,
// then keeps others out until it is closed: an exclusive lock of the open
// file, not of the process, so two threads of one host take turns too. A
// lock this process holds the traditional way on the file would never be
// released while it waited, so then it does not wait; nor where the
// filesystem has no locks.
void TakeTurn(int file) {
    struct stat opened {};
    if (fstat(file, &opened) != 0 || !S_ISREG(opened.st_mode)) return;
#if defined(F_OFD_SETLKW)
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    struct flock held = whole;
    if (fcntl(file, F_OFD_GETLK, &held) == 0 && held.l_type != F_UNLCK && held.l_pid == getpid()) {
        return;
    }
    while (fcntl(file, F_OFD_SETLKW, &whole) != 0 && errno == EINTR) {
    }
#else
    while (flock(file, LOCK_EX) != 0 && errno == EINTR) {
    }
#endif
}

}  // namespace

void TemporaryName(const PendingOutput& output, int attempt, char (&temporary)[OUTPUT_PATH_LIMIT]) {
    static constexpr char SUFFIX[] = ".tolvimo-";
    constexpr size_t MARKS = 1 + (sizeof SUFFIX - 1) + 8;  // leading dot, suffix, hex
    long longest = fpathconf(output.directory, _PC_NAME_MAX);
    if (longest <= 0 || longest > DEFAULT_NAME_MAX) longest = DEFAULT_NAME_MAX;
    const size_t room =
        static_cast<size_t>(longest) > MARKS ? static_cast<size_t>(longest) - MARKS : 0;
    size_t shown = std::strlen(output.name);
    if (shown > room) {
        // Cut on a character boundary, so the name stays valid UTF-8.
        shown = room;
        while (shown > 0 && (static_cast<unsigned char>(output.name[shown]) & 0xC0) == 0x80) {
            --shown;
        }
    }
    // No state is kept between calls: the clock, the process and the stack
    // vary the name.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t mix = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(getpid()) << 32) ^
                   reinterpret_cast<uintptr_t>(&now) ^ static_cast<uint64_t>(attempt);
    mix *= 0x9E3779B97F4A7C15u;
    std::snprintf(temporary, sizeof temporary, ".%.*s%s%08x", static_cast<int>(shown), output.name,
                  SUFFIX, static_cast<unsigned>(mix >> 32));
}

bool FileSizeLimit(uint64_t& bytes) {
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return false;
    bytes = static_cast<uint64_t>(limit.rlim_cur);
    return true;
}

bool FitsFileSizeLimit(uint64_t bytes) {
    uint64_t limit = 0;
    return !FileSizeLimit(limit) || bytes <= limit;
}

bool NamesStandardOutput(const char* path) {
    // A terminal or /dev/null takes the report and the bytes alike, as
    // before; a file, pipe or socket would carry the report in the WAV.
    struct stat named {};
    struct stat standard {};
    return stat(path, &named) == 0 && fstat(STDOUT_FILENO, &standard) == 0 &&
           named.st_dev == standard.st_dev && named.st_ino == standard.st_ino &&
           !S_ISCHR(named.st_mode);
}

bool BeginOutput(const char* path, const TolvimoUtf16*, PendingOutput& output) {
    output = PendingOutput{};
    int file = -1;
    switch (Locate(path, output)) {
        case Location::Nowhere: break;
        case Location::Directory: file = OpenDestination(output); break;
        case Location::OpenFile: {
            struct stat examined {};
            if (fstatat(output.directory, output.name, &examined, 0) == 0) {
                file = OpenInPlace(output, examined, true);
            }
            break;
        }
    }
    if (file >= 0) {
        output.stream = OpenStream(file);
        output.descriptor = file;
        if (output.stream == nullptr) {
            if (output.inPlace) {
                close(file);
            } else {
                DiscardNew(output, file);
            }
        }
    }
    // In place, the directory is not needed again, and the file is written
    // by one call at a time. Its bytes change only after ReserveOutput.
    if (output.stream != nullptr && output.inPlace) {
        CloseIfOpen(output.directory);
        TakeTurn(file);
    }
    if (output.stream == nullptr) {
        CloseIfOpen(output.directory);
        // A folder a link leads to is not the path's: its name, which the
        // caller never wrote, is not known to the outcome, so none is given.
        if (output.throughLink) output.folderRefused = false;
        return false;
    }
    return true;
}

}  // namespace tolvimo

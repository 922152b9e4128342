// POSIX: reserving room for the file and putting it in place. A file that
// replaces another is synced before it takes the name and the directory
// after, so that a power cut leaves the old file or the new one; a new file
// is not synced (nothing it could be confused with is lost). A file written
// in place gets its room before its first byte changes.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/output_protocol.h"
#include "platform/output_protocol_posix.h"

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

// Makes the rename durable: its directory synced, or where the directory
// could only be looked up (one the caller may enter but not read, held as
// O_PATH: EBADF) or its filesystem cannot sync a directory (EINVAL), the
// whole filesystem, through the file. A sync that was tried and failed
// (EIO) fails the call: the rename may not survive a power cut.
bool SyncRename(int directory, int file) {
    if (fsync(directory) == 0) return true;
#if defined(__linux__)
    if (errno == EBADF || errno == EINVAL) return syncfs(file) == 0;
#else
    static_cast<void>(file);
#endif
    return false;
}

// Puts the complete, flushed new file in place: linked straight to a free
// name, or synced, named and renamed over the file there. Returns whether
// it took the destination's name and, when it replaced a file, the rename
// reached the disk.
bool PutInPlace(PendingOutput& output) {
    const int file = output.descriptor;
    bool replacing = output.existed;
    if (output.unnamed && !replacing) {
        struct stat made {};
        if (fstat(file, &made) == 0 && LinkUnnamed(file, output.directory, output.name)) {
            // Closing can report a deferred write error: the name just
            // linked then goes again, if it still names this file.
            const bool closed = std::fclose(output.stream) == 0;
            output.stream = nullptr;
            if (!closed) {
                const int error = errno;
                struct stat named {};
                if (fstatat(output.directory, output.name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                    named.st_dev == made.st_dev && named.st_ino == made.st_ino) {
                    unlinkat(output.directory, output.name, 0);
                }
                errno = error;
                return Discard(output);
            }
            CloseIfOpen(output.directory);
            return true;
        }
        if (errno != EEXIST) return Discard(output);
        replacing = true;  // a file has taken the name meanwhile
    }
    if (!replacing) {
        // Closing can report a deferred write error of a named file.
        const bool closed = std::fclose(output.stream) == 0;
        output.stream = nullptr;
        if (!closed ||
            renameat(output.directory, output.temporary, output.directory, output.name) != 0) {
            return Discard(output);
        }
        CloseIfOpen(output.directory);
        return true;
    }
    if (fsync(file) != 0) return Discard(output);
    if (output.unnamed && !NameUnnamed(output, file)) return Discard(output);
    if (renameat(output.directory, output.temporary, output.directory, output.name) != 0) {
        return Discard(output);
    }
    // The file is in place now whatever follows; a sync that fails is
    // still reported, as the rename may not survive a power cut.
    const bool synced = SyncRename(output.directory, file);
    const int error = errno;
    std::fclose(output.stream);
    output.stream = nullptr;
    CloseIfOpen(output.directory);
    errno = error;  // the failed sync's reason, when it failed
    return synced;
}

#if !defined(__EMSCRIPTEN__)
bool NoRoom(int error) {
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

// Blocks a filesystem that maps data through blocks of 4-byte block numbers
// needs beside `data` blocks of `blockSize` bytes: single, double and triple
// indirect blocks, with the last partial block of each level counted whole.
uint64_t MappingBlocks(uint64_t data, uint64_t blockSize) {
    const uint64_t perBlock = blockSize >= 8 ? blockSize / 4 : 2;
    uint64_t total = 0;
    for (uint64_t level = data; level > 1;) {
        level = (level + perBlock - 1) / perBlock;
        total += level;
    }
    return total + 3;
}

// True when overwriting `file` writes new blocks rather than the ones it
// has (btrfs, bcachefs, ZFS), so that the room reserved for its length says
// nothing of the room an overwrite needs; a btrfs file marked not to copy
// on write (chattr +C) is overwritten where it lies.
bool CopiesOnWrite([[maybe_unused]] int file) {
#if defined(__linux__)
    constexpr unsigned long BCACHEFS = 0xCA451A4E, ZFS = 0x2FC12FC1;
    struct statfs filesystem {};
    if (fstatfs(file, &filesystem) != 0) return false;
    const auto type = static_cast<unsigned long>(filesystem.f_type);
    if (type == BCACHEFS || type == ZFS) return true;
    if (type != BTRFS_SUPER_MAGIC) return false;
    int flags = 0;
    return ioctl(file, FS_IOC_GETFLAGS, &flags) != 0 || (flags & FS_NOCOW_FL) == 0;
#else
    return false;
#endif
}

// Blocks beyond the data an overwrite by new blocks needs: the checksums
// and extent records it adds before the old blocks are freed, one block in
// 64 and at least 1 MB, measured with room to spare on btrfs.
uint64_t CopyMargin(uint64_t data, uint64_t blockSize) {
    const uint64_t floor = (uint64_t{1} << 20) / blockSize;
    return std::max(data / 64, floor);
}

// Room for a file written in place to grow to `bytes`, found without
// changing a byte of it: the blocks reserved (its size stays as it is), or
// where the filesystem cannot reserve, its free space compared with what the
// file lacks. The comparison counts the blocks that map the data as well,
// and only the space an ordinary user may take, even for root: a filesystem
// keeps back blocks for its own use that statvfs counts as free. A
// filesystem that reports no size at all (ramfs) cannot tell. A pipe or
// device needs none.
bool ReserveInPlace(int file, uint64_t bytes) {
    struct stat opened {};
    if (fstat(file, &opened) != 0 || !S_ISREG(opened.st_mode)) return true;
    const bool copies = CopiesOnWrite(file);
#if defined(__linux__)
    if (!copies) {
        if (fallocate(file, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes)) == 0) return true;
        if (errno != EOPNOTSUPP) return !NoRoom(errno);
    }
#endif
    // Overwritten blocks are new blocks where the filesystem copies on
    // write: the file's own count for nothing until the old ones are freed.
    const uint64_t held = copies ? 0 : static_cast<uint64_t>(opened.st_blocks) * 512;
    struct statvfs space {};
    if (held >= bytes || fstatvfs(file, &space) != 0 || space.f_blocks == 0) return true;
    const uint64_t block = space.f_frsize > 0 ? space.f_frsize : space.f_bsize;
    if (block == 0) return true;
    const uint64_t dataBlocks = (bytes + block - 1) / block;
    const uint64_t lacking = (bytes - held + block - 1) / block;
    const uint64_t needed =
        lacking + (copies ? CopyMargin(dataBlocks, block) : MappingBlocks(dataBlocks, block));
    if (space.f_bavail >= needed) return true;
    errno = ENOSPC;
    return false;
}
#endif

#if defined(__linux__)
// How far the data may run ahead of its writeback: large enough for the disk
// to take it in large pieces, small enough that little is left for the sync.
constexpr off_t WRITEBACK_STEP = off_t{4} << 20;
#endif

// Ends this call's turn at the file written in place (see TakeTurn): the
// lock belongs to the open file, which a child forked meanwhile shares, so
// closing would not end it while that child lives.
void ReleaseTurn(int file) {
#if defined(F_OFD_SETLK)
    struct flock whole {};
    whole.l_type = F_UNLCK;
    whole.l_whence = SEEK_SET;
    fcntl(file, F_OFD_SETLK, &whole);
#else
    flock(file, LOCK_UN);
#endif
}

// Finishes a disk file written over from its start: cut to its new length,
// synced, its held-back first bytes written and synced in turn, so that
// until the end it does not read as a complete file. A failure empties it
// through the open file, whatever the path names now, once any byte has
// reached it; shrinking is allowed even past a file size limit. `error`
// keeps the first failure's errno.
bool FinishDiskFile(PendingOutput& output, int file, bool complete, int& error) {
    const auto failed = [&] {
        if (complete) error = errno;
        complete = false;
    };
    struct stat opened {};
    const off_t written = lseek(file, 0, SEEK_CUR);
    if (written < 0 || fstat(file, &opened) != 0) failed();
    if (complete && opened.st_size > written && ftruncate(file, written) != 0) failed();
    if (complete && fdatasync(file) != 0) failed();
    if (complete && output.startBytes > 0) {
        const ssize_t put = pwrite(file, output.start, output.startBytes, 0);
        if (put != static_cast<ssize_t>(output.startBytes)) {
            if (put >= 0) errno = EIO;
            failed();
        }
        if (complete && fdatasync(file) != 0) failed();
    }
    if (!complete && (written != 0 || output.touched)) {
        const int emptied = ftruncate(file, 0);
        static_cast<void>(emptied);  // nothing further can be done
    }
    return complete;
}

}  // namespace

bool HoldBackStart(PendingOutput& output, const void* bytes, size_t count) {
    static constexpr unsigned char ZEROS[OUTPUT_START_LIMIT] = {};
    if (count > sizeof output.start) {
        errno = EINVAL;
        return false;
    }
    std::memcpy(output.start, bytes, count);
    output.startBytes = count;
    output.touched = true;
    ssize_t put = 0;
    do {
        put = pwrite(output.descriptor, ZEROS, count, 0);
    } while (put < 0 && errno == EINTR);
    if (put != static_cast<ssize_t>(count)) {
        if (put >= 0) errno = EIO;
        return false;
    }
    // The stream goes on after the zeros rather than writing them again:
    // some FUSE drivers garble a write that starts over a short one.
    return fdatasync(output.descriptor) == 0 &&
           lseek(output.descriptor, static_cast<off_t>(count), SEEK_SET) >= 0;
}

void StartWriteback(PendingOutput& output) {
#if defined(__linux__)
    // Only started, never waited for: the disk writes while the next notes
    // are rendered. The sync before the rename still waits for every byte.
    if (!output.existed || output.inPlace) return;
    const int file = output.descriptor;
    const off_t from = static_cast<off_t>(output.writtenBack);
    const off_t reached = lseek(file, 0, SEEK_CUR);
    if (reached - from < WRITEBACK_STEP) return;
    if (sync_file_range(file, from, reached - from, SYNC_FILE_RANGE_WRITE) == 0) {
        output.writtenBack = static_cast<uint64_t>(reached);
    }
#else
    static_cast<void>(output);
#endif
}

// cppcheck-suppress constParameter ; one signature on every platform
bool ReserveOutput(PendingOutput& output, uint64_t bytes) {
    const int file = output.descriptor;
    if (bytes == 0) return true;
#if defined(__EMSCRIPTEN__)
    // The in-memory file is sized once, instead of growing by an eighth and
    // copying itself at each step as the notes arrive.
    const int failed = output.inPlace ? 0 : posix_fallocate(file, 0, static_cast<off_t>(bytes));
    return failed != ENOSPC && failed != ENOMEM && failed != EFBIG;
#else
    if (output.inPlace) return ReserveInPlace(file, bytes);
#if defined(__linux__)
    // The whole length at once, the file's size included: writes then land
    // in blocks that are already the file's. A replacing file is synced
    // before its rename, so the reserved, still unwritten blocks never
    // reach the destination's name as zeros.
    return fallocate(file, 0, 0, static_cast<off_t>(bytes)) == 0 || !NoRoom(errno);
#else
    return true;
#endif
#endif
}

bool FinishOutput(PendingOutput& output, bool complete) {
    // The reason reported is the first failed call's, not a cleanup's.
    int error = complete ? 0 : errno;
    const bool flushed = std::fflush(output.stream) == 0;
    if (complete && !flushed) error = errno;
    complete = complete && flushed;
    if (!output.inPlace) {
        errno = error;
        return complete ? PutInPlace(output) : Discard(output);
    }
    const int file = output.descriptor;
    if (output.startLast) complete = FinishDiskFile(output, file, complete, error);
    ReleaseTurn(file);
    const bool closed = std::fclose(output.stream) == 0;
    output.stream = nullptr;
    // A disk file's bytes were synced before closing, so closing cannot
    // lose one; a pipe's or device's close can still report a failed write.
    if (complete && !closed && !output.startLast) {
        complete = false;
        error = errno;
    }
    errno = error;
    return complete;
}

}  // namespace tolvimo

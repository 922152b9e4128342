// Writing a request's file so that a failure leaves every file as it was.
//
// The bytes go to a new file beside the destination, which is put in place
// in one step only when every byte is written; a failure discards it and
// touches nothing by name. Only where replacing the destination would break
// what the caller relies on is the file written in place, one call at a
// time, its bytes unchanged until its room is found; a later failure then
// empties it through the open file instead. Those cases are named,
// each in one place: the path names an already open file (/dev/stdout,
// /proc/self/fd/N); the destination is not a regular file (a pipe or
// device); it has other hard links; it is mounted onto the path (a bind
// mount); its owner cannot be given to a new file; the directory lets the
// existing file be written but refuses new ones. Any other failure to prepare the new file opens
// nothing. A disk file written in place gets its first bytes last, once the rest is on disk, so
// that a write cut short leaves a file that no reader takes for the old or
// the new one.
#pragma once

#include <cstdint>
#include <cstdio>

#include "TolvimoWAVInstruments.h"

namespace tolvimo {

// Longest path this side handles after following symbolic links.
constexpr size_t OUTPUT_PATH_LIMIT = 4096;
// Longest name of one directory entry, terminator included.
constexpr size_t OUTPUT_NAME_LIMIT = 256;
// Most leading bytes of a file that can be held back and written last.
constexpr size_t OUTPUT_START_LIMIT = 64;

// One output file being written. `stream` takes the bytes; the rest is
// how the file is put in place.
struct PendingOutput {
    std::FILE* stream = nullptr;
    int descriptor = -1;         // POSIX: the file `stream` writes
    bool inPlace = false;        // writing the destination itself
    bool touched = false;        // in place: a byte of the file has changed
    int kept = -1;               // Windows: a second descriptor of the open file
    int directory = -1;          // POSIX: the destination's directory, -1 if none
    bool unnamed = false;        // the new file has no name yet (Linux O_TMPFILE)
    bool existed = false;        // a file is being replaced
    bool folderRefused = false;  // BeginOutput failed on the destination's folder
    bool throughLink = false;    // POSIX: the path's last name was a symbolic link
    uint64_t writtenBack = 0;    // POSIX: bytes whose writeback has been started
    // In place on a disk file, the stream gets zeros for the file's first
    // `startBytes` bytes; their real values wait in `start` until the rest
    // is written and synced. BeginOutput sets `startLast` where this applies.
    bool startLast = false;
    size_t startBytes = 0;
    unsigned char start[OUTPUT_START_LIMIT] = {};
    char target[OUTPUT_PATH_LIMIT] = {};     // Windows: the destination
    char name[OUTPUT_NAME_LIMIT] = {};       // POSIX: its name in `directory`
    char temporary[OUTPUT_PATH_LIMIT] = {};  // the new file's name while written
#if defined(_WIN32)
    // Windows names files in UTF-16: the file that is replaced (a link's
    // final target) and the new file, both in the \\?\ form that lifts
    // the 260-character limit.
    wchar_t wideTarget[OUTPUT_PATH_LIMIT] = {};
    wchar_t wideTemporary[OUTPUT_PATH_LIMIT] = {};
#endif
};

// Opens the destination for writing as above. It is named twice: `path`
// is its 8-bit spelling, which POSIX opens; `widePath` the caller's own
// UTF-16 name, which Windows opens, so that a name the ANSI code page
// cannot spell is written all the same. Returns false, creating and
// changing nothing, when it cannot be opened; errno is then the failed
// call's, and `folderRefused` says whether that call was finding the
// destination's folder or making a file in it, where that folder is the
// path's own (not one a symbolic link leads to).
bool BeginOutput(const char* path, const TolvimoUtf16* widePath, PendingOutput& output);

// Reserves room for the whole file, `bytes` long, so that a full disk or
// quota fails here, before any sample is rendered, rather than partway
// through; the filesystem can then also lay the file out in one piece. A
// file written in place keeps its bytes: where room cannot be reserved for
// it, the free space is compared instead. True when reserved, for a pipe or
// device, or where the filesystem cannot tell (the writes then report a
// shortage); false when there is no room, and the caller finishes with
// `complete` false, which leaves a file written in place untouched.
bool ReserveOutput(PendingOutput& output, uint64_t bytes);

// In place on a disk file (`startLast`): keeps the file's first `count`
// bytes, `bytes`, to be written last, and puts zeros there now, on disk
// before any other byte of the file changes, so that neither a reader nor a
// power cut finds the old first bytes over new data. The stream then goes
// on after them. False when the zeros could not be written and synced;
// finishing then empties the file.
bool HoldBackStart(PendingOutput& output, const void* bytes, size_t count);

// Starts the writeback of the bytes the stream has handed to a file that
// will be synced (one that replaces another), every few MB, so that its
// sync at the end waits for little. Called as the bytes are written.
void StartWriteback(PendingOutput& output);

// Closes the file. With `complete`, and when every byte reached it, puts it
// in place and returns true; otherwise discards what was written and
// returns false: a new file vanishes, a file written in place is emptied
// once a byte has reached it. A file that replaces another is on disk
// before it takes the name, and the rename after it, so a power cut leaves
// the old file or the new one; false when the rename cannot be synced,
// though the new file has the name. A file written in place is synced, its
// held-back first bytes written, and synced again; once that succeeded,
// closing cannot lose a byte, so the call's result no longer depends on it.
// Whenever it returns false, errno is the reason of the first call that
// failed, not of any cleanup after it. In place, the file's lock is
// released before it is closed, so that no child forked meanwhile, sharing
// the open file, holds up the next writer.
bool FinishOutput(PendingOutput& output, bool complete);

// FileSizeLimit: the process's file size limit (ulimit -f) in `bytes`, or
// false where there is none.
// FitsFileSizeLimit: true when a file of `bytes` stays within the process's
// file size limit, so that writing it never raises SIGXFSZ; checked before
// anything is opened (a host that lowers the limit during a call is not
// covered). NamesStandardOutput: true when `path` names the file or pipe
// that standard output writes to (the same one, whatever its name; a
// terminal or /dev/null aside), whose report must then go elsewhere, or it
// would land in the file.
#if defined(_WIN32)
// Windows has no file size limit, and its report goes through the C
// runtime's own standard output, which is not examined.
inline bool FileSizeLimit(uint64_t&) {
    return false;
}
inline bool FitsFileSizeLimit(uint64_t) {
    return true;
}
inline bool NamesStandardOutput(const char*) {
    return false;
}
#else
bool FileSizeLimit(uint64_t& bytes);
bool FitsFileSizeLimit(uint64_t bytes);
bool NamesStandardOutput(const char* path);
#endif

}  // namespace tolvimo

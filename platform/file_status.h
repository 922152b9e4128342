// Writing a request's file so that a failure leaves every file as it was.
//
// The bytes go to a new file beside the destination, which is put in place
// in one step only when every byte is written; a failure discards it and
// touches nothing by name. Where replacing the destination would break what
// the caller relies on (a file with other hard links, a pipe or device, a
// directory that only lets the existing file be written, a file owned by
// someone else), the file is written in place, and a failure empties it
// through the open file instead.
#pragma once

#include <cstdint>
#include <cstdio>

namespace tolvimo {

// Longest path this side handles after following symbolic links.
constexpr size_t OUTPUT_PATH_LIMIT = 4096;
// Longest name of one directory entry.
constexpr size_t OUTPUT_NAME_LIMIT = 256;

// One output file being written. `stream` takes the bytes; the rest is
// how the file is put in place.
struct PendingOutput {
    std::FILE* stream = nullptr;
    bool inPlace = false;                    // writing the destination itself
    int kept = -1;                           // a second descriptor of the open file, -1 if none
    int directory = -1;                      // the destination's directory (POSIX), -1 if none
    bool unnamed = false;                    // the new file has no name yet (Linux O_TMPFILE)
    bool existed = false;                    // the destination existed when the file was opened
    char target[OUTPUT_PATH_LIMIT] = {};     // the destination, links followed
    char name[OUTPUT_NAME_LIMIT] = {};       // its last component
    char temporary[OUTPUT_PATH_LIMIT] = {};  // the new file's name while written
#if defined(_WIN32)
    // Windows names files in UTF-16: the file that is replaced (a link's
    // final target) and the new file, both in the \\?\ form that lifts
    // the 260-character limit.
    wchar_t wideTarget[OUTPUT_PATH_LIMIT] = {};
    wchar_t wideTemporary[OUTPUT_PATH_LIMIT] = {};
#endif
};

// Opens `path` for writing as above. Returns false, creating nothing, when
// it cannot be opened.
bool BeginOutput(const char* path, PendingOutput& output);

#if defined(_WIN32)
// Windows opens the destination by the caller's own UTF-16 name instead, so
// a name the ANSI code page cannot spell is written all the same.
bool BeginOutput(const wchar_t* path, PendingOutput& output);
#endif

// Reserves room for the whole file, `bytes` long, when a new file is being
// written, so that a full disk or quota fails here, before any sample is
// rendered, rather than partway through; the filesystem can then also lay
// the file out in one piece. True when reserved, when the file is written in place, or where
// the filesystem cannot reserve (the writes then report a shortage); false
// when there is no room, and the caller finishes with `complete` false.
bool ReserveOutput(PendingOutput& output, uint64_t bytes);

// Closes the file. With `complete`, and when every byte reached it, puts it
// in place and returns true; otherwise discards what was written and
// returns false: a new file vanishes, a file written in place is emptied.
bool FinishOutput(PendingOutput& output, bool complete);

}  // namespace tolvimo

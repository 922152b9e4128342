// Why an output file could not be opened or written, in the system's words,
// found by looking at the path and its folder: nothing is created, opened
// for writing or changed.
#pragma once

#include <string>

namespace tolvimo_cli {

// The system's words for an errno value ("No such file or directory").
std::string SystemWords(int error);

// "folder 'missing': No such file or directory", "Is a directory", ...;
// empty when looking shows no reason.
std::string WhyCannotOpen(const std::string& path);

// "No space left on device" when the file's filesystem has no free block,
// the file size limit when one is set; empty otherwise.
std::string WhyCannotWrite(const std::string& path);

}  // namespace tolvimo_cli

// The command-line arguments as the library's UTF-8 text.
#pragma once

#include <string>
#include <string_view>

namespace tolvimo_cli {

// True when `text` is well-formed UTF-8 (U+FFFD itself, properly encoded,
// included): decoding it loses nothing.
bool IsValidUtf8(std::string_view text);

// Argument `index` of the command line in UTF-8. On Windows it is taken from
// the wide command line, so no character is lost to the ANSI code page;
// elsewhere it is argv[index] as it is (the library reads a malformed
// sequence as U+FFFD).
std::string Utf8Argument(char** argv, int index);

// The library's UTF-8 text as the console shows it: on Windows in the ANSI
// code page (a character it lacks becomes its default character, '?'), as
// the program's messages always were; elsewhere as it is.
std::string ConsoleText(const std::string& utf8);

}  // namespace tolvimo_cli

#include "cli/utf8_arguments.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// windows.h first: shellapi.h builds on its types.
#include <shellapi.h>
#endif

namespace tolvimo_cli {
namespace {

constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Decodes one code point at `at`, advancing it; malformed input yields
// U+FFFD and consumes one byte, so decoding resynchronises on the next one.
char32_t DecodeOne(std::string_view text, size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, minimum = 0x10000;
    } else {
        ++at;
        return REPLACEMENT_CHARACTER;
    }
    if (at + length > text.size()) {
        ++at;
        return REPLACEMENT_CHARACTER;
    }
    for (size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(text[at + k]);
        if (!IsContinuation(byte)) {
            ++at;
            return REPLACEMENT_CHARACTER;
        }
        code = (code << 6) | (byte & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        ++at;
        return REPLACEMENT_CHARACTER;
    }
    at += length;
    return code;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        const size_t start = at;
        // Only a malformed sequence consumes a single byte that is not ASCII.
        if (DecodeOne(text, at) == REPLACEMENT_CHARACTER && at - start == 1) return false;
    }
    return true;
}

std::string Utf8Argument(char** argv, int index) {
#if defined(_WIN32)
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::string argument;
    bool found = false;
    if (wide != nullptr && index < count) {
        const int bytes =
            WideCharToMultiByte(CP_UTF8, 0, wide[index], -1, nullptr, 0, nullptr, nullptr);
        if (bytes > 0) {
            argument.resize(static_cast<size_t>(bytes));
            WideCharToMultiByte(CP_UTF8, 0, wide[index], -1, argument.data(), bytes, nullptr,
                                nullptr);
            argument.pop_back();  // the terminator
            found = true;
        }
    }
    if (wide != nullptr) LocalFree(wide);
    if (found) return argument;
#endif
    return argv[index];
}

std::string ConsoleText(const std::string& utf8) {
#if defined(_WIN32)
    if (GetACP() == CP_UTF8 || utf8.empty()) return utf8;
    const int units =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (units <= 0) return utf8;
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), units);
    // Best-fit mapping is off: it would show U+0100 as 'A', a note.
    const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, nullptr,
                                          0, nullptr, nullptr);
    if (bytes <= 0) return utf8;
    std::string ansi(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, ansi.data(), bytes,
                        nullptr, nullptr);
    return ansi;
#else
    return utf8;
#endif
}

}  // namespace tolvimo_cli

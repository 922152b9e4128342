// Windows: the 8-bit text is the ANSI code page. A character the code page
// cannot represent becomes its default character ('?' in the usual ones),
// which starts no note. Best-fit mapping is off: it would turn U+0100 into
// 'A' and so make a note of a character the caller never typed.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>

#include "platform/text_conversion.h"

namespace tolvimo {
namespace {

// UTF-8 as the ANSI code page refuses the best-fit flag and has no default
// character: it represents everything.
DWORD ConversionFlags() {
    return GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
}

// True when every character of `wide` has its own spelling in the code
// page: no default character stands in, and no unpaired surrogate is
// dropped or replaced.
bool ConvertsExactly(const TolvimoUtf16* wide) {
    if (GetACP() == CP_UTF8) {
        return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, nullptr, 0, nullptr,
                                   nullptr) > 0;
    }
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0,
                                         nullptr, &usedDefault);
    return size > 0 && usedDefault == FALSE;
}

}  // namespace

bool ConvertToNarrow(const TolvimoUtf16* wide, NarrowText& out) {
    out.text.reset();
    out.length = 0;
    out.lossy = false;
    // The first call measures, terminator included, so no code page, even a
    // multi-byte one, can overflow the buffer.
    const int size =
        WideCharToMultiByte(CP_ACP, ConversionFlags(), wide, -1, nullptr, 0, nullptr, nullptr);
    out.text.reset(static_cast<char*>(std::malloc(size > 0 ? static_cast<size_t>(size) : 1)));
    if (!out.text) return false;
    out.text.get()[0] = '\0';
    if (size > 0) {
        const int written = WideCharToMultiByte(CP_ACP, ConversionFlags(), wide, -1, out.text.get(),
                                                size, nullptr, nullptr);
        if (written <= 0) out.text.get()[0] = '\0';
        out.lossy = written <= 0 || !ConvertsExactly(wide);
    }
    out.length = std::strlen(out.text.get());
    return true;
}

size_t CharacterLength(const char* text, size_t length, size_t position) {
    const auto lead = static_cast<BYTE>(text[position]);
    size_t size = 1;
    if (GetACP() == CP_UTF8) {
        size = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    } else if (IsDBCSLeadByte(lead) != 0) {
        size = 2;
    }
    return position + size <= length ? size : length - position;
}

bool OpensAsNamed(const NarrowText& narrow) {
    static_cast<void>(narrow);
    return true;
}

}  // namespace tolvimo

#include "platform/CodePage936.h"

#include <windows.h>

namespace {
constexpr UINT kCodePage936 = 936;
}  // namespace

namespace cp936 {

// Through the system's own table for code page 936, whatever the process's ANSI code page.
// WideCharToMultiByte keeps no state, so no lock is needed.
int FromUtf16(char16_t unit, char* out)
{
    if (unit == 0) {
        return 0;
    }
    if (unit < 0x80) {
        out[0] = static_cast<char>(unit);
        return 1;
    }
    const wchar_t wide = static_cast<wchar_t>(unit);
    char bytes[kMaxCharBytes * 2];
    BOOL usedDefault = FALSE;
    // No best-fit look-alikes and no default character: a unit the code page lacks (a lone
    // surrogate, for one) converts to nothing, as with iconv on POSIX.
    const int written =
        ::WideCharToMultiByte(kCodePage936, WC_NO_BEST_FIT_CHARS, &wide, 1, bytes,
                              static_cast<int>(sizeof bytes), nullptr, &usedDefault);
    if (written <= 0 || written > kMaxCharBytes || usedDefault) {
        return 0;
    }
    for (int i = 0; i < written; ++i) {
        out[i] = bytes[i];
    }
    return written;
}

}  // namespace cp936

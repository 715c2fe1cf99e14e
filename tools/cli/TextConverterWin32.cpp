#include <windows.h>

#include "TextConverter.h"

namespace korv::cli {
namespace {

constexpr UINT kCodePage = 936;
constexpr const char* kReplacement = "\xEF\xBF\xBD";

// Converts between a code page and UTF-16; false when a character has no mapping (the
// flags make Windows refuse it instead of writing a default character).
bool ToWide(UINT codePage, const char* text, int length, std::wstring& wide)
{
    const int count =
        ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
    if (count <= 0) {
        return false;
    }
    wide.resize(static_cast<std::size_t>(count));
    return ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, length, wide.data(),
                                 count) == count;
}

bool FromWide(UINT codePage, const std::wstring& wide, std::string& text)
{
    if (wide.empty()) {
        text.clear();
        return true;
    }
    // WC_NO_BEST_FIT_CHARS and the used-default flag refuse what the code page cannot hold
    // (UTF-8 takes neither).
    BOOL usedDefault = FALSE;
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL* const usedDefaultArg = utf8 ? nullptr : &usedDefault;
    const int size = static_cast<int>(wide.size());
    const int count = ::WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr,
                                            usedDefaultArg);
    if (count <= 0 || usedDefault) {
        return false;
    }
    text.resize(static_cast<std::size_t>(count));
    return ::WideCharToMultiByte(codePage, flags, wide.data(), size, text.data(), count, nullptr,
                                 usedDefaultArg) == count &&
           !usedDefault;
}

}  // namespace

std::string CTextConverter::ToUtf8(const std::string& cp936)
{
    // Character by character (one byte, or a lead byte and its trail byte), so that one bad
    // sequence costs one replacement character and the rest still converts.
    std::string utf8;
    std::size_t i = 0;
    while (i < cp936.size()) {
        const auto byte = static_cast<unsigned char>(cp936[i]);
        if (byte < 0x80) {
            utf8 += static_cast<char>(byte);
            ++i;
            continue;
        }
        const int length = ::IsDBCSLeadByteEx(kCodePage, byte) && i + 1 < cp936.size() ? 2 : 1;
        std::wstring wide;
        std::string piece;
        if (ToWide(kCodePage, cp936.data() + i, length, wide) && FromWide(CP_UTF8, wide, piece)) {
            utf8 += piece;
            i += static_cast<std::size_t>(length);
        } else {
            utf8 += kReplacement;
            ++i;
        }
    }
    return utf8;
}

std::optional<std::string> CTextConverter::FromUtf8(const std::string& utf8)
{
    std::wstring wide;
    std::string cp936;
    if (utf8.empty()) {
        return cp936;
    }
    if (!ToWide(CP_UTF8, utf8.data(), static_cast<int>(utf8.size()), wide) ||
        !FromWide(kCodePage, wide, cp936)) {
        return std::nullopt;
    }
    return cp936;
}

std::wstring CTextConverter::ToUtf16(const std::string& utf8)
{
    // Without MB_ERR_INVALID_CHARS: a stray byte costs one U+FFFD, never the whole name.
    const int size = static_cast<int>(utf8.size());
    const int count = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(count > 0 ? count : 0), L'\0');
    if (count > 0) {
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), count);
    }
    return wide;
}

}  // namespace korv::cli

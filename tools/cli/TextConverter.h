// Converts between the library's code page 936 text and the terminal's UTF-8.
#pragma once

#include <optional>
#include <string>

namespace korv::cli {

class CTextConverter {
public:
    // Bytes that are not code page 936 become U+FFFD, so the output is always valid UTF-8.
    static std::string ToUtf8(const std::string& cp936);
    // nullopt when the text is not UTF-8 or has a character code page 936 cannot write.
    static std::optional<std::string> FromUtf8(const std::string& utf8);
#ifdef _WIN32
    // For the Windows file calls; a byte that is not UTF-8 becomes U+FFFD.
    static std::wstring ToUtf16(const std::string& utf8);
#endif
};

}  // namespace korv::cli

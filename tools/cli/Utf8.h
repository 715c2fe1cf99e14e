// Steps through UTF-8 text one character at a time.
#pragma once

#include <cstddef>
#include <string_view>

namespace korv::cli {

// The code point starting at text[i], and in length its bytes. A byte that starts no complete
// sequence counts as a character of its own (its value), so every byte is stepped over once.
inline char32_t DecodeUtf8(std::string_view text, std::size_t i, std::size_t& length)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (lead < 0xC0 || i + length > text.size()) {
        length = 1;
        return lead;
    }
    char32_t code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    return code;
}

}  // namespace korv::cli

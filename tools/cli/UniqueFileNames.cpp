#include "UniqueFileNames.h"

#include "Utf8.h"

namespace korv::cli {
namespace {

// The upper-case letters code page 936 has besides ASCII, folded as Windows folds them:
// Greek, Cyrillic, fullwidth Latin and the Roman numerals. Caseless text (the Chinese
// characters) stays as it is.
char32_t Folded(char32_t c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 0x391 && c <= 0x3A9) || (c >= 0x410 && c <= 0x42F) ||
        (c >= 0xFF21 && c <= 0xFF3A)) {
        return c + 0x20;
    }
    if (c >= 0x400 && c <= 0x40F) {
        return c + 0x50;
    }
    if (c >= 0x2160 && c <= 0x216F) {
        return c + 0x10;
    }
    return c;
}

// The name with every letter folded, one code point per character.
std::u32string Folded(const std::string& name)
{
    std::u32string folded;
    for (std::size_t i = 0, length = 0; i < name.size(); i += length) {
        folded += Folded(DecodeUtf8(name, i, length));
    }
    return folded;
}

}  // namespace

std::string CUniqueFileNames::Claim(const std::string& safeName)
{
    if (m_taken.insert(Folded(safeName)).second) {
        return safeName;
    }
    // "a_b.png" -> "a_b~2.png"; a name without an extension (or only a leading dot) gets the
    // suffix at its end.
    const std::size_t dot = safeName.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? safeName.substr(0, dot) : safeName;
    const std::string extension = hasExtension ? safeName.substr(dot) : std::string();
    for (unsigned n = 2;; ++n) {
        std::string candidate = stem + "~" + std::to_string(n) + extension;
        if (m_taken.insert(Folded(candidate)).second) {
            return candidate;
        }
    }
}

}  // namespace korv::cli

#include "UniqueFileNames.h"

namespace korv::cli {
namespace {

std::string Folded(std::string name)
{
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return name;
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

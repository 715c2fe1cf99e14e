// Hands out file names for one folder so that no two names from the server share a file.
#pragma once

#include <set>
#include <string>

namespace korv::cli {

class CUniqueFileNames {
public:
    // The safe name itself when it is still free, else the name with "~2", "~3", ... before
    // its extension. Names differing only in case count as the same file, as on the
    // case-insensitive file systems of Windows and macOS: ASCII, and the Greek, Cyrillic,
    // fullwidth Latin letters and Roman numerals of code page 936.
    std::string Claim(const std::string& safeName);

private:
    std::set<std::u32string> m_taken;  // lower-cased
};

}  // namespace korv::cli

#include "SafeFileName.h"

namespace korv::cli {
namespace {

// Well below the usual 255-byte limit, leaving room for a suffix.
constexpr std::size_t kMaxNameBytes = 200;

bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xc0) == 0x80;
}

// Characters Windows does not allow in a file name. ':' matters most: "C:x" joined to a folder
// is a path on drive C (outside the folder), and "x:y" names a stream of the file x.
bool IsWindowsReserved(char c)
{
    return c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|';
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension, are devices on Windows.
bool IsDeviceName(const std::string& name)
{
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.pop_back();
    }
    for (char& c : base) {
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") {
        return true;
    }
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

}  // namespace

std::string MakeSafeFileName(const std::string& utf8Name)
{
    std::string safe = utf8Name;
    if (safe.size() > kMaxNameBytes) {
        std::size_t cut = kMaxNameBytes;
        while (cut > 0 && IsContinuationByte(safe[cut])) {
            --cut;
        }
        safe.resize(cut);
    }
    for (char& c : safe) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7f || IsWindowsReserved(c)) {
            c = '_';
        }
    }
    if (safe.empty()) {
        return "_";
    }
    if (safe.front() == '.') {
        safe.front() = '_';
    }
    // Windows drops trailing dots and spaces, so "a." and "a" would be one file.
    if (safe.back() == '.' || safe.back() == ' ') {
        safe.back() = '_';
    }
    if (IsDeviceName(safe)) {
        safe.insert(0, 1, '_');
    }
    return safe;
}

}  // namespace korv::cli

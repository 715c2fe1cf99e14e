#include "ProgressLine.h"

#include "Utf8.h"

namespace korv::cli {
namespace {

std::string Size(double bytes)
{
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    std::size_t unit = 0;
    while (bytes >= 1024 && unit + 1 < std::size(kUnits)) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
    return text;
}

bool IsWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

// The longest start of text that fits in columns, at a character boundary.
std::string Cut(const std::string& text, std::size_t columns)
{
    std::size_t used = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t length = 0;
        const std::size_t width = IsWide(DecodeUtf8(text, i, length)) ? 2 : 1;
        if (used + width > columns) {
            break;
        }
        used += width;
        i += length;
    }
    return text.substr(0, i);
}

}  // namespace

std::size_t CProgressLine::Width(const std::string& utf8)
{
    std::size_t width = 0;
    for (std::size_t i = 0, length = 0; i < utf8.size(); i += length) {
        width += IsWide(DecodeUtf8(utf8, i, length)) ? 2 : 1;
    }
    return width;
}

std::string CProgressLine::Text(std::size_t index, std::size_t count, const std::string& name,
                                std::uint64_t bytes, double seconds, std::size_t columns)
{
    const std::string head = "image " + std::to_string(index) + " of " + std::to_string(count);
    std::string tail = "  " + Size(static_cast<double>(bytes));
    if (seconds > 0 && bytes > 0) {
        tail += "  " + Size(static_cast<double>(bytes) / seconds) + "/s";
    }
    const std::size_t room = columns > 0 ? columns - 1 : 0;
    const std::size_t fixed = head.size() + tail.size() + 2;
    if (fixed + 4 > room) {
        return Cut(head + tail, room);
    }
    std::string shown = name;
    if (Width(name) > room - fixed) {
        shown = Cut(name, room - fixed - 3) + "...";
    }
    return head + "  " + shown + tail;
}

void CProgressLine::Show(std::size_t index, std::size_t count, const std::string& name,
                         std::uint64_t bytes, double seconds)
{
    if (m_columns == 0) {
        return;
    }
    const std::string text = Text(index, count, name, bytes, seconds, m_columns);
    const std::size_t width = Width(text);
    // Spaces over what a longer line before left; no terminal escapes, so a Windows console
    // without them shows it as well.
    std::fprintf(m_out, "\r%s", text.c_str());
    if (m_shown > width) {
        std::fprintf(m_out, "%s\r%s", std::string(m_shown - width, ' ').c_str(), text.c_str());
    }
    std::fflush(m_out);
    m_shown = width;
}

void CProgressLine::Clear()
{
    if (m_shown == 0) {
        return;
    }
    std::fprintf(m_out, "\r%s\r", std::string(m_shown, ' ').c_str());
    std::fflush(m_out);
    m_shown = 0;
}

}  // namespace korv::cli

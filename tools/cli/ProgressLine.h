// The one line korvanelle fetch keeps redrawing on a terminal while it works: which image of
// how many, its name, the bytes received so far and the rate. Made with no columns it writes
// nothing, so redirected output stays exactly the list of files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace korv::cli {

class CProgressLine {
public:
    // columns: the terminal's width, 0 for no line at all.
    CProgressLine(std::FILE* out, std::size_t columns) : m_out(out), m_columns(columns) {}

    void Show(std::size_t index, std::size_t count, const std::string& name, std::uint64_t bytes,
              double seconds);
    // Blanks the line and leaves the cursor at its start, for the next line of the list.
    void Clear();

    // The line's text, cut to fit in columns - 1 (a full last column would wrap the line).
    static std::string Text(std::size_t index, std::size_t count, const std::string& name,
                            std::uint64_t bytes, double seconds, std::size_t columns);
    // Terminal columns the UTF-8 text takes: East Asian wide characters take two.
    static std::size_t Width(const std::string& utf8);

private:
    std::FILE* m_out;
    std::size_t m_columns;
    std::size_t m_shown = 0;  // columns of the line on the screen now
};

}  // namespace korv::cli

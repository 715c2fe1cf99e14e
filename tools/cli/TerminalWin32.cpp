#include <windows.h>

#include <cstdio>
#include <io.h>

#include "Terminal.h"

namespace korv::cli {

std::size_t CTerminal::Columns()
{
    if (::_isatty(::_fileno(stdout)) == 0 || ::_isatty(::_fileno(stderr)) == 0) {
        return 0;
    }
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info) == 0) {
        return 80;
    }
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? static_cast<std::size_t>(columns) : 80;
}

}  // namespace korv::cli

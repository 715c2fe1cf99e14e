#include <sys/ioctl.h>
#include <unistd.h>

#include "Terminal.h"

namespace korv::cli {

std::size_t CTerminal::Columns()
{
    if (::isatty(STDOUT_FILENO) == 0 || ::isatty(STDERR_FILENO) == 0) {
        return 0;
    }
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) {
        return 80;
    }
    return size.ws_col;
}

}  // namespace korv::cli

// Whether korvanelle's output goes to a terminal, and how wide it is.
#pragma once

#include <cstddef>

namespace korv::cli {

class CTerminal {
public:
    // The width of the terminal when standard output and standard error both go to one
    // (80 when it does not say); 0 when either is redirected.
    static std::size_t Columns();
};

}  // namespace korv::cli

#include "document/ArenaText.h"

#include <ostream>

std::ostream& operator<<(std::ostream& os, CArenaText text)
{
    return os << text.View();
}

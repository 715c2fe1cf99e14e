#include "thread/ThreadMessages.h"

#include <cstring>
#include <new>

char* NewMessageText(const char* text)
{
    if (text == nullptr)
        return nullptr;
    const size_t length = std::strlen(text);
    char* copy = new (std::nothrow) char[length + 1];
    if (copy != nullptr)
        std::memcpy(copy, text, length + 1);
    return copy;
}

void FreeMessageText(std::uintptr_t wParam)
{
    delete[] reinterpret_cast<char*>(wParam);
}

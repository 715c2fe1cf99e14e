#ifndef KORV_PLATFORM_THREAD_MESSAGE_H
#define KORV_PLATFORM_THREAD_MESSAGE_H

#include <cstdint>

// One posted thread message: a number and two word-sized arguments.
struct ThreadMessage {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

#ifndef _WIN32
// Numbers as the Windows headers define them, so message numbers agree on every platform.
constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_USER = 0x0400;
#else
#include <windows.h>
#endif

#endif

#pragma once

#include <cstdint>

// One posted thread message: a number and two word-sized arguments.
struct ThreadMessage {
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

#ifndef _WIN32
// Numbers as the Windows headers define them, so message numbers agree on every platform.
constexpr std::uint32_t WM_QUIT = 0x0012;
constexpr std::uint32_t WM_USER = 0x0400;
#else
#include <windows.h>
#endif

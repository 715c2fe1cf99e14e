#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "platform/MessageLoop.h"

// Runs the loop on the calling thread until done() holds or limitMs pass; true when done.
// Posted messages that turn up meanwhile are kept in *posted when given.
inline bool PumpUntil(CMessageLoop& loop, const std::function<bool()>& done, int limitMs = 5000,
                      std::vector<ThreadMessage>* posted = nullptr)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        ThreadMessage msg{};
        if (loop.GetMessage(&msg, 5) && posted != nullptr)
            posted->push_back(msg);
    }
    return true;
}

// Serves the loop for a while; for checks that something does NOT happen.
inline void PumpFor(CMessageLoop& loop, int ms)
{
    PumpUntil(
        loop, [] { return false; }, ms);
}

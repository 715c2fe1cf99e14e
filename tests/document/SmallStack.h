#pragma once

#include <cstddef>
#include <functional>

// Runs fn to completion on a new thread whose stack is limited to stackBytes (1 MiB is the
// default thread stack on the library's target). False when the thread could not start.
bool RunOnSmallStack(const std::function<void()>& fn, std::size_t stackBytes = 1024 * 1024);

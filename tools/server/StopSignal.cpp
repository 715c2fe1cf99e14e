#include "StopSignal.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace korv::server {
namespace {

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_signal = 0;

void OnSignal(int number)
{
    g_signal = number;
    const char byte = 1;
    // Nothing to do about a full pipe: one byte in it already wakes the loop.
    [[maybe_unused]] const ssize_t ignored = ::write(g_pipe[1], &byte, 1);
}

}  // namespace

bool CStopSignal::Install()
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // A client that vanishes must not kill the server through a write.
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

int CStopSignal::ReadFd() const
{
    return g_pipe[0];
}

int CStopSignal::Received() const
{
    return g_signal;
}

}  // namespace korv::server

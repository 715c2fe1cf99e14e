#include "ServerCloseArrived.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

constexpr unsigned kEstablished = 0x01;          // the kernel's TCP_ESTABLISHED
constexpr unsigned long kLoopback = 0x0100007F;  // 127.0.0.1 as /proc/net/tcp prints it

// Whether /proc/net/tcp lists a connection to 127.0.0.1:port in the established state;
// *readable false when the table cannot be read.
bool EstablishedTo(unsigned port, bool* readable)
{
    std::ifstream table("/proc/net/tcp");
    *readable = table.good();
    std::string line;
    std::getline(table, line);  // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote;
        unsigned state = 0;
        fields >> slot >> local >> remote >> std::hex >> state;
        unsigned long address = 0;
        unsigned remotePort = 0;
        if (std::sscanf(remote.c_str(), "%lx:%x", &address, &remotePort) == 2 &&
            address == kLoopback && remotePort == port && state == kEstablished)
            return true;
    }
    return false;
}

}  // namespace

bool WaitUntilServerCloseArrived(unsigned serverPort, int limitMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    bool readable = false;
    while (EstablishedTo(serverPort, &readable)) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return readable;
}

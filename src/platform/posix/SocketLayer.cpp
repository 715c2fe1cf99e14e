#include "platform/SocketLayer.h"

// POSIX sockets need no start-up.
bool InitSocketLayer()
{
    return true;
}

#include "platform/SocketLayer.h"

#include <winsock2.h>

// Windows Sockets 2.2 for the module, as AfxSocketInit does. The matching WSACleanup is
// never called: the documentation forbids it from DllMain, and the process end releases it.
bool InitSocketLayer()
{
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

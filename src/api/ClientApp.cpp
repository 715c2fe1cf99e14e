#include "api/ClientApp.h"

#include "platform/SocketLayer.h"

CClientApp theApp;

CClientApp::CClientApp()
{
    InitInstance();
}

bool CClientApp::InitInstance()
{
    // The result is deliberately ignored: the load goes ahead whatever it was.
    static_cast<void>(InitSocketLayer());
    return true;
}

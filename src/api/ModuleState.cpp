#include "api/ModuleState.h"

#include "thread/RptSockThread.h"

CRptSockThread* g_pRptSockThread = nullptr;
std::string g_strLastError;

CRptSockThread* ConnectedThread()
{
    if (g_pRptSockThread == nullptr || !g_pRptSockThread->m_bConnected)
        return nullptr;
    return g_pRptSockThread;
}

#pragma once

#include "thread/RptSockThread.h"

// What harnesses reach of CRptSockThread beyond its interface: the socket whose reports
// the reply handlers accept, so a harness can feed the handlers as that socket would.
class CRptSockThreadTestAccess {
public:
    static CRptSocket& Socket(CRptSockThread& thread) { return thread.m_socket; }
};

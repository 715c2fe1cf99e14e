#pragma once

#include <string>

class CRptSockThread;

// The one socket thread of the process, or null; owned by the module.
extern CRptSockThread* g_pRptSockThread;
// Why the last Connect failed (code page 936 text); nothing in the library reads it.
extern std::string g_strLastError;

// The socket thread when it exists and is connected, else null.
CRptSockThread* ConnectedThread();

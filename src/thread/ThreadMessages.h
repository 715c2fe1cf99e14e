#pragma once

#include "platform/ThreadMessage.h"

// Requests the exports post to the socket thread. wParam carries a text the message owns
// (or 0); lParam is the request's ticket for WM_RPT_OPENPATIENT, WM_RPT_GETTHUMB and
// WM_RPT_GETIMAGE (CRptSockThread::NewTicket), and 0 for the others.
enum : unsigned {
    WM_RPT_CONNECT = WM_USER + 101,      // 1125
    WM_RPT_DISCONNECT = WM_USER + 102,   // 1126
    WM_RPT_STARTED = WM_USER + 103,      // 1127
    WM_RPT_OPENPATIENT = WM_USER + 104,  // 1128
    WM_RPT_GETTHUMB = WM_USER + 105,     // 1129
    WM_RPT_GETIMAGE = WM_USER + 106,     // 1130
};

// The owned text of a request message: made by the posting export, freed by the handler.
char* NewMessageText(const char* text);
void FreeMessageText(std::uintptr_t wParam);

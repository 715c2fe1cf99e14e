#pragma once

// The application object of the library, one static instance per loaded module (theApp).
// Loading the library constructs it, and its construction runs InitInstance, the module's
// start-up: the platform's socket layer is initialised for the module there (on Windows,
// Windows Sockets 2.2, as AfxSocketInit does) and its outcome is not examined; a layer that
// failed shows up later as a failed connection. It has no data and handles no messages.
//
// It runs while the loader lock is held (static construction inside the DLL's start-up), so
// it starts no thread and waits for none; neither does its destruction at unload.
class CClientApp {
public:
    CClientApp();
    CClientApp(const CClientApp&) = delete;
    CClientApp& operator=(const CClientApp&) = delete;

    bool InitInstance();
};

extern CClientApp theApp;

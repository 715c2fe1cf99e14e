#pragma once

// Makes the platform's socket layer usable by this module: Windows Sockets 2.2 on Windows
// (WSAStartup), nothing elsewhere. True when it is ready. Called once at load by the
// application object, which does not examine the result: a layer that failed shows up
// later as a failed connection. Starts no thread and waits for none, so it is safe while
// the loader lock is held.
bool InitSocketLayer();

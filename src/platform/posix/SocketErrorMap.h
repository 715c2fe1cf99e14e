#pragma once

// errno value -> Windows Sockets error code.
int SocketErrorFromErrno(int err);
// getaddrinfo() result -> Windows Sockets error code.
int SocketErrorFromResolver(int result, int err);

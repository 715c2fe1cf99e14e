#ifndef KORV_PLATFORM_POSIX_SOCKET_ERROR_MAP_H
#define KORV_PLATFORM_POSIX_SOCKET_ERROR_MAP_H

// errno value -> Windows Sockets error code.
int SocketErrorFromErrno(int err);
// getaddrinfo() result -> Windows Sockets error code.
int SocketErrorFromResolver(int result, int err);

#endif

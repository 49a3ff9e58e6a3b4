#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>

#include "platform/non_copyable.h"

namespace velkora::win32 {

// The socket and IP helper functions the port probe uses. ws2_32 and iphlpapi are loaded
// from the system directory when a port is first checked: imported, they would load at
// every start, and iphlpapi (not a known DLL) from the program's folder first.
struct NetworkApi {
    decltype(&::WSAStartup) startup;
    decltype(&::WSACleanup) cleanup;
    decltype(&::WSAGetLastError) lastError;
    decltype(&::socket) openSocket;
    decltype(&::setsockopt) setOption;
    decltype(&::bind) bindSocket;
    decltype(&::closesocket) closeSocket;
    decltype(&::GetExtendedTcpTable) tcpTable;
    decltype(&::GetExtendedUdpTable) udpTable;
};

// Raises PlatformError when a DLL or one of its functions is missing.
const NetworkApi& networkApi();

// Winsock started for the length of one check (WSAStartup / WSACleanup).
class WinsockSession : NonCopyable {
public:
    WinsockSession();
    ~WinsockSession();
};

// Owns one socket and closes it when it goes.
class UniqueSocket : NonCopyable {
public:
    explicit UniqueSocket(SOCKET socket) noexcept : socket_(socket) {}
    ~UniqueSocket();

    SOCKET get() const noexcept { return socket_; }
    explicit operator bool() const noexcept { return socket_ != INVALID_SOCKET; }

private:
    SOCKET socket_;
};

} // namespace velkora::win32

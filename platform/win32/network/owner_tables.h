#pragma once

#include <string>
#include <vector>

namespace velkora::win32 {

// One row of the system's owner tables: a TCP listener or a bound UDP socket.
struct OwnedPort {
    long port = 0;
    unsigned long pid = 0; // 0 when the system does not say
    bool ipv6 = false;
};

// Every TCP listener (GetExtendedTcpTable, TCP_TABLE_OWNER_PID_LISTENER), then every bound
// UDP socket (GetExtendedUdpTable), IPv4 before IPv6; a system without IPv6 gives IPv4 only.
// Raises PlatformError when a table cannot be read.
std::vector<OwnedPort> tcpListeners();
std::vector<OwnedPort> udpSockets();

// One established TCP connection (GetExtendedTcpTable, TCP_TABLE_OWNER_PID_CONNECTIONS).
struct TcpConnection {
    long localPort = 0;
    unsigned long pid = 0;
    std::wstring remoteAddress; // "192.0.2.7", or eight IPv6 groups in hex
};

// Every established TCP connection, IPv4 before IPv6. Raises PlatformError when a table cannot
// be read.
std::vector<TcpConnection> establishedTcpConnections();

} // namespace velkora::win32

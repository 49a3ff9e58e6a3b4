#pragma once

#include <string>
#include <vector>

namespace velkora {

enum class PortProtocol { Tcp, Udp };

// One socket that holds a port: a TCP listener or a bound UDP socket, and the process it
// belongs to. The process id is 0 when the system does not say (Wine reports every
// owner so); image is the file name only ("nginx.exe"), empty when the process cannot be
// opened; services are the names of the services that run in that process.
struct PortHolder {
    PortProtocol protocol = PortProtocol::Tcp;
    bool ipv6 = false;
    unsigned long pid = 0;
    std::wstring image;
    std::vector<std::wstring> services;

    bool operator==(const PortHolder&) const = default;
};

// An established TCP connection: the process it belongs to (0 when the system does not say)
// and its remote address ("192.0.2.7", or eight IPv6 groups in hex).
struct TcpPeer {
    unsigned long pid = 0;
    std::wstring remoteAddress;

    bool operator==(const TcpPeer&) const = default;
};

namespace BindError {
constexpr int None = 0;
constexpr int AccessDenied = 10013; // WSAEACCES: an excluded (reserved) port range
constexpr int AddressInUse = 10048; // WSAEADDRINUSE
} // namespace BindError

// Asks the system whether a port can be listened on, and who holds it.
class PortProbe {
public:
    virtual ~PortProbe() = default;

    // Binds the port on the wildcard address for TCP and UDP, IPv4 and IPv6, each with
    // SO_EXCLUSIVEADDRUSE and closed at once. Returns 0 when every bind succeeds, else the
    // Winsock error of the first one refused. An address family the system does not have
    // is skipped.
    virtual int trialBind(long port) = 0;

    // The TCP listeners and UDP sockets on the port, both address families, in that order.
    // A failure to read the system's tables raises PlatformError; a process that cannot be
    // named is not a failure.
    virtual std::vector<PortHolder> holders(long port) = 0;

    // The established TCP connections whose local port is the port, both address families.
    // A failure to read the system's tables raises PlatformError.
    virtual std::vector<TcpPeer> establishedPeers(long port) = 0;
};

} // namespace velkora

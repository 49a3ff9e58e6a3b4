#include "platform/win32/network/port_probe.h"

#include <cstring>
#include <map>

#include "platform/win32/network/network_api.h"
#include "platform/win32/network/owner_tables.h"
#include "platform/win32/network/process_names.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

// Binds one wildcard socket exclusively and closes it; the Winsock error, or 0. A family
// the system lacks counts as success: the listener cannot use it either.
int bindOnce(const NetworkApi& net, int family, int type, int protocol, long port) {
    const UniqueSocket socket(net.openSocket(family, type, protocol));
    if (!socket) {
        const int error = net.lastError();
        return error == WSAEAFNOSUPPORT ? 0 : error;
    }
    const BOOL on = TRUE;
    const char* option = reinterpret_cast<const char*>(&on);
    if (net.setOption(socket.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, option, sizeof(on)) != 0) {
        return net.lastError();
    }
    sockaddr_in6 address{}; // zero: the wildcard address of either family
    int length = sizeof(sockaddr_in6);
    const u_short networkPort = static_cast<u_short>(((port & 0xFF) << 8) | ((port >> 8) & 0xFF));
    if (family == AF_INET6) {
        net.setOption(socket.get(), IPPROTO_IPV6, IPV6_V6ONLY, option, sizeof(on));
        address.sin6_family = AF_INET6;
        address.sin6_port = networkPort;
    } else {
        sockaddr_in v4{};
        v4.sin_family = AF_INET;
        v4.sin_port = networkPort;
        std::memcpy(&address, &v4, sizeof(v4));
        length = sizeof(sockaddr_in);
    }
    if (net.bindSocket(socket.get(), reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        return net.lastError();
    }
    return 0;
}

void nameOwners(std::vector<PortHolder>& holders) {
    std::map<unsigned long, std::vector<std::wstring>> services;
    bool servicesRead = false;
    for (PortHolder& holder : holders) {
        if (holder.pid == 0) {
            continue;
        }
        if (!servicesRead) {
            services = servicesByProcess();
            servicesRead = true;
        }
        holder.image = processImageName(holder.pid);
        const auto found = services.find(holder.pid);
        if (found != services.end()) {
            holder.services = found->second;
        }
    }
}

} // namespace

int SystemPortProbe::trialBind(long port) {
    const NetworkApi& net = networkApi();
    const WinsockSession winsock;
    const int attempts[4][3] = {{AF_INET, SOCK_STREAM, IPPROTO_TCP},
                                {AF_INET6, SOCK_STREAM, IPPROTO_TCP},
                                {AF_INET, SOCK_DGRAM, IPPROTO_UDP},
                                {AF_INET6, SOCK_DGRAM, IPPROTO_UDP}};
    for (const auto& attempt : attempts) {
        const int error = bindOnce(net, attempt[0], attempt[1], attempt[2], port);
        if (error != 0) {
            return error;
        }
    }
    return 0;
}

std::vector<PortHolder> SystemPortProbe::holders(long port) {
    std::vector<PortHolder> found;
    const auto collect = [&](const std::vector<OwnedPort>& rows, PortProtocol protocol) {
        for (const OwnedPort& row : rows) {
            if (row.port == port) {
                found.push_back({protocol, row.ipv6, row.pid, L"", {}});
            }
        }
    };
    collect(tcpListeners(), PortProtocol::Tcp);
    collect(udpSockets(), PortProtocol::Udp);
    nameOwners(found);
    return found;
}

std::vector<TcpPeer> SystemPortProbe::establishedPeers(long port) {
    std::vector<TcpPeer> found;
    for (const TcpConnection& connection : establishedTcpConnections()) {
        if (connection.localPort == port) {
            found.push_back({connection.pid, connection.remoteAddress});
        }
    }
    return found;
}

} // namespace velkora::win32

#include "platform/win32/port_probe.h"

#include <cstdint>
#include <cstring>
#include <map>

#include "platform/win32/network_api.h"
#include "platform/win32/process_names.h"
#include "platform/win32/win32_error.h"

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

// The tables keep ports in network byte order in the low 16 bits.
long tablePort(DWORD value) {
    return static_cast<long>(((value & 0xFF) << 8) | ((value >> 8) & 0xFF));
}

// One owner table; it may grow between asking for its size and reading it, so try again.
template <typename Read> std::vector<std::uint64_t> readTable(Read read, bool optional) {
    std::vector<std::uint64_t> buffer;
    DWORD bytes = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD status = read(buffer.empty() ? nullptr : buffer.data(), &bytes);
        if (status == NO_ERROR) {
            return buffer;
        }
        if (optional && (status == ERROR_NOT_SUPPORTED || status == ERROR_INVALID_PARAMETER)) {
            return {}; // no IPv6 stack
        }
        if (status != ERROR_INSUFFICIENT_BUFFER) {
            throwWin32(status);
        }
        buffer.assign(bytes / sizeof(std::uint64_t) + 1, 0);
        bytes = static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t));
    }
    throwWin32(ERROR_INSUFFICIENT_BUFFER);
}

// The rows of a table "{ DWORD dwNumEntries; Row table[]; }" that hold the port.
template <typename Table, typename Row>
void collect(const std::vector<std::uint64_t>& buffer, long port, PortProtocol protocol, bool ipv6,
             std::vector<PortHolder>& holders) {
    if (buffer.empty()) {
        return;
    }
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    const std::size_t room =
        (buffer.size() * sizeof(std::uint64_t) - offsetof(Table, table)) / sizeof(Row);
    const std::size_t count = table->dwNumEntries < room ? table->dwNumEntries : room;
    for (std::size_t i = 0; i < count; ++i) {
        const Row& row = table->table[i];
        if (tablePort(row.dwLocalPort) == port) {
            holders.push_back({protocol, ipv6, row.dwOwningPid, L"", {}});
        }
    }
}

std::vector<std::uint64_t> tcpTable(const NetworkApi& net, ULONG family) {
    return readTable(
        [&](void* table, DWORD* bytes) {
            return net.tcpTable(table, bytes, FALSE, family, TCP_TABLE_OWNER_PID_LISTENER, 0);
        },
        family == AF_INET6);
}

std::vector<std::uint64_t> udpTable(const NetworkApi& net, ULONG family) {
    return readTable(
        [&](void* table, DWORD* bytes) {
            return net.udpTable(table, bytes, FALSE, family, UDP_TABLE_OWNER_PID, 0);
        },
        family == AF_INET6);
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
    const NetworkApi& net = networkApi();
    std::vector<PortHolder> found;
    collect<MIB_TCPTABLE_OWNER_PID, MIB_TCPROW_OWNER_PID>(tcpTable(net, AF_INET), port,
                                                          PortProtocol::Tcp, false, found);
    collect<MIB_TCP6TABLE_OWNER_PID, MIB_TCP6ROW_OWNER_PID>(tcpTable(net, AF_INET6), port,
                                                            PortProtocol::Tcp, true, found);
    collect<MIB_UDPTABLE_OWNER_PID, MIB_UDPROW_OWNER_PID>(udpTable(net, AF_INET), port,
                                                          PortProtocol::Udp, false, found);
    collect<MIB_UDP6TABLE_OWNER_PID, MIB_UDP6ROW_OWNER_PID>(udpTable(net, AF_INET6), port,
                                                            PortProtocol::Udp, true, found);
    nameOwners(found);
    return found;
}

} // namespace velkora::win32

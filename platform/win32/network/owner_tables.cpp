#include "platform/win32/network/owner_tables.h"

#include <cstddef>
#include <cstdint>
#include <cwchar>

#include "platform/win32/network/network_api.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

// The tables keep ports in network byte order in the low 16 bits.
long tablePort(DWORD value) {
    return static_cast<long>(((value & 0xFF) << 8) | ((value >> 8) & 0xFF));
}

// One owner table; it may grow between asking for its size and reading it, so try again.
template <typename Read>
std::vector<std::uint64_t> readTable(const wchar_t* function, Read read, bool optional) {
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
            throwWin32(status, function);
        }
        buffer.assign(bytes / sizeof(std::uint64_t) + 1, 0);
        bytes = static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t));
    }
    throwWin32(ErrorNumber::InsufficientBuffer);
}

// Calls each with every row of a table "{ DWORD dwNumEntries; Row table[]; }", never beyond
// the bytes read.
template <typename Table, typename Row, typename Each>
void forEachRow(const std::vector<std::uint64_t>& buffer, Each&& each) {
    if (buffer.empty()) {
        return;
    }
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    const std::size_t room =
        (buffer.size() * sizeof(std::uint64_t) - offsetof(Table, table)) / sizeof(Row);
    const std::size_t count = table->dwNumEntries < room ? table->dwNumEntries : room;
    for (std::size_t i = 0; i < count; ++i) {
        each(table->table[i]);
    }
}

template <typename Table, typename Row>
void collect(const std::vector<std::uint64_t>& buffer, bool ipv6, std::vector<OwnedPort>& rows) {
    forEachRow<Table, Row>(buffer, [&](const Row& row) {
        rows.push_back({tablePort(row.dwLocalPort), row.dwOwningPid, ipv6});
    });
}

// The listeners (TCP_TABLE_OWNER_PID_LISTENER) or the connections
// (TCP_TABLE_OWNER_PID_CONNECTIONS) of a family, with their processes.
std::vector<std::uint64_t> tcpTable(const NetworkApi& net, ULONG family, TCP_TABLE_CLASS rows) {
    return readTable(
        L"GetExtendedTcpTable",
        [&](void* table, DWORD* bytes) {
            return net.tcpTable(table, bytes, FALSE, family, rows, 0);
        },
        family == AF_INET6);
}

std::wstring ipv4Text(DWORD address) {
    const auto* a = reinterpret_cast<const unsigned char*>(&address); // network byte order
    wchar_t text[16] = L"";
    std::swprintf(text, 16, L"%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    return text;
}

std::wstring ipv6Text(const UCHAR* a) {
    wchar_t text[48] = L"";
    std::swprintf(text, 48, L"%x:%x:%x:%x:%x:%x:%x:%x", a[0] << 8 | a[1], a[2] << 8 | a[3],
                  a[4] << 8 | a[5], a[6] << 8 | a[7], a[8] << 8 | a[9], a[10] << 8 | a[11],
                  a[12] << 8 | a[13], a[14] << 8 | a[15]);
    return text;
}

// The established rows of a connection table.
template <typename Table, typename Row, typename Address>
void collectEstablished(const std::vector<std::uint64_t>& buffer, Address address,
                        std::vector<TcpConnection>& rows) {
    forEachRow<Table, Row>(buffer, [&](const Row& row) {
        if (row.dwState == MIB_TCP_STATE_ESTAB) {
            rows.push_back({tablePort(row.dwLocalPort), row.dwOwningPid, address(row)});
        }
    });
}

std::vector<std::uint64_t> udpTable(const NetworkApi& net, ULONG family) {
    return readTable(
        L"GetExtendedUdpTable",
        [&](void* table, DWORD* bytes) {
            return net.udpTable(table, bytes, FALSE, family, UDP_TABLE_OWNER_PID, 0);
        },
        family == AF_INET6);
}

} // namespace

std::vector<OwnedPort> tcpListeners() {
    const NetworkApi& net = networkApi();
    std::vector<OwnedPort> rows;
    collect<MIB_TCPTABLE_OWNER_PID, MIB_TCPROW_OWNER_PID>(
        tcpTable(net, AF_INET, TCP_TABLE_OWNER_PID_LISTENER), false, rows);
    collect<MIB_TCP6TABLE_OWNER_PID, MIB_TCP6ROW_OWNER_PID>(
        tcpTable(net, AF_INET6, TCP_TABLE_OWNER_PID_LISTENER), true, rows);
    return rows;
}

std::vector<TcpConnection> establishedTcpConnections() {
    const NetworkApi& net = networkApi();
    std::vector<TcpConnection> rows;
    collectEstablished<MIB_TCPTABLE_OWNER_PID, MIB_TCPROW_OWNER_PID>(
        tcpTable(net, AF_INET, TCP_TABLE_OWNER_PID_CONNECTIONS),
        [](const MIB_TCPROW_OWNER_PID& row) { return ipv4Text(row.dwRemoteAddr); }, rows);
    collectEstablished<MIB_TCP6TABLE_OWNER_PID, MIB_TCP6ROW_OWNER_PID>(
        tcpTable(net, AF_INET6, TCP_TABLE_OWNER_PID_CONNECTIONS),
        [](const MIB_TCP6ROW_OWNER_PID& row) { return ipv6Text(row.ucRemoteAddr); }, rows);
    return rows;
}

std::vector<OwnedPort> udpSockets() {
    const NetworkApi& net = networkApi();
    std::vector<OwnedPort> rows;
    collect<MIB_UDPTABLE_OWNER_PID, MIB_UDPROW_OWNER_PID>(udpTable(net, AF_INET), false, rows);
    collect<MIB_UDP6TABLE_OWNER_PID, MIB_UDP6ROW_OWNER_PID>(udpTable(net, AF_INET6), true, rows);
    return rows;
}

} // namespace velkora::win32

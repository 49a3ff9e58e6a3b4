#include "platform/win32/network/owner_tables.h"

#include <cstddef>
#include <cstdint>

#include "platform/win32/network/network_api.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

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

// The rows of a table "{ DWORD dwNumEntries; Row table[]; }", never beyond the bytes read.
template <typename Table, typename Row>
void collect(const std::vector<std::uint64_t>& buffer, bool ipv6, std::vector<OwnedPort>& rows) {
    if (buffer.empty()) {
        return;
    }
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    const std::size_t room =
        (buffer.size() * sizeof(std::uint64_t) - offsetof(Table, table)) / sizeof(Row);
    const std::size_t count = table->dwNumEntries < room ? table->dwNumEntries : room;
    for (std::size_t i = 0; i < count; ++i) {
        const Row& row = table->table[i];
        rows.push_back({tablePort(row.dwLocalPort), row.dwOwningPid, ipv6});
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

} // namespace

std::vector<OwnedPort> tcpListeners() {
    const NetworkApi& net = networkApi();
    std::vector<OwnedPort> rows;
    collect<MIB_TCPTABLE_OWNER_PID, MIB_TCPROW_OWNER_PID>(tcpTable(net, AF_INET), false, rows);
    collect<MIB_TCP6TABLE_OWNER_PID, MIB_TCP6ROW_OWNER_PID>(tcpTable(net, AF_INET6), true, rows);
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

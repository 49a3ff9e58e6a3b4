#include "platform/win32/service_monitor.h"

#include <winsock2.h>
#include <ws2ipdef.h>
#include <windows.h>
#include <iphlpapi.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/win32/runtime.h"
#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_error.h"

namespace velkora::win32 {
namespace {

// The table's ports are in network byte order in the low 16 bits.
long hostPort(DWORD networkPort) {
    return static_cast<long>(((networkPort & 0xFF) << 8) | ((networkPort >> 8) & 0xFF));
}

using GetExtendedTcpTableFn = DWORD(WINAPI*)(PVOID, PDWORD, BOOL, ULONG, TCP_TABLE_CLASS, ULONG);

// The owner-PID listener table of one address family, as raw bytes; grows while it changes.
std::vector<std::uint8_t> listenerTable(GetExtendedTcpTableFn getTable, ULONG family) {
    std::vector<std::uint8_t> table(16 * 1024);
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD size = static_cast<DWORD>(table.size());
        const DWORD status =
            getTable(table.data(), &size, FALSE, family, TCP_TABLE_OWNER_PID_LISTENER, 0);
        if (status == NO_ERROR) {
            return table;
        }
        if (status != ERROR_INSUFFICIENT_BUFFER) {
            throwWin32(status);
        }
        table.resize(size + 4096);
    }
    throwWin32(ERROR_INSUFFICIENT_BUFFER);
}

template <typename Table>
void addPortsOf(const std::vector<std::uint8_t>& bytes, unsigned long processId,
                std::vector<long>& ports) {
    const auto* table = reinterpret_cast<const Table*>(bytes.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        if (table->table[i].dwOwningPid == processId) {
            ports.push_back(hostPort(table->table[i].dwLocalPort));
        }
    }
}

} // namespace

ServiceStatus SystemServiceMonitor::query(const std::wstring& serviceName) {
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        throwLastError();
    }
    const UniqueServiceHandle service(
        OpenServiceW(manager.get(), serviceName.c_str(), SERVICE_QUERY_STATUS));
    if (!service) {
        throwLastError();
    }
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                              reinterpret_cast<BYTE*>(&status), sizeof status, &needed)) {
        throwLastError();
    }
    if (status.dwCurrentState < SERVICE_STOPPED || status.dwCurrentState > SERVICE_PAUSED) {
        throwWin32(ERROR_INVALID_DATA);
    }
    return {static_cast<ServiceState>(status.dwCurrentState), status.dwProcessId};
}

std::vector<long> SystemServiceMonitor::tcpListenPorts(unsigned long processId) {
    // From the system directory, not imported: iphlpapi is not one of Windows' known DLLs,
    // and one planted next to the program must never load.
    const HMODULE iphlpapi = loadSystemLibrary(L"iphlpapi.dll");
    const auto getTable = loadProcedure<GetExtendedTcpTableFn>(iphlpapi, "GetExtendedTcpTable");
    if (getTable == nullptr) {
        throwLastError();
    }
    std::vector<long> ports;
    addPortsOf<MIB_TCPTABLE_OWNER_PID>(listenerTable(getTable, AF_INET), processId, ports);
    addPortsOf<MIB_TCP6TABLE_OWNER_PID>(listenerTable(getTable, AF_INET6), processId, ports);
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    return ports;
}

} // namespace velkora::win32

#pragma once

#include "platform/service_monitor.h"

namespace velkora::win32 {

// The service control manager (QueryServiceStatusEx) and the TCP listener tables
// (GetExtendedTcpTable, IPv4 and IPv6).
class SystemServiceMonitor final : public ServiceMonitor {
public:
    ServiceStatus query(const std::wstring& serviceName) override;
    std::vector<long> tcpListenPorts(unsigned long processId) override;
};

} // namespace velkora::win32

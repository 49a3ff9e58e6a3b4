#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velkora {

// The states of the service control manager (SERVICE_STOPPED = 1 ... SERVICE_PAUSED = 7).
enum class ServiceState {
    Stopped = 1,
    StartPending,
    StopPending,
    Running,
    ContinuePending,
    PausePending,
    Paused
};

struct ServiceStatus {
    ServiceState state = ServiceState::Stopped;
    unsigned long processId = 0; // 0 when the service runs in no process
};

// Reads how a service runs and which TCP ports a process listens on. Failures raise
// PlatformError (a service that does not exist: 1060).
class ServiceMonitor {
public:
    virtual ~ServiceMonitor() = default;
    virtual ServiceStatus query(const std::wstring& serviceName) = 0;
    // The local ports of the TCP listeners (IPv4 and IPv6) owned by the process, ascending,
    // each once.
    virtual std::vector<long> tcpListenPorts(unsigned long processId) = 0;
};

} // namespace velkora

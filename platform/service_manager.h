#pragma once

#include <chrono>
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
    bool acceptsStop = false;    // SERVICE_ACCEPT_STOP
    unsigned long exitCode = 0;  // the Win32 exit code it last reported

    bool operator==(const ServiceStatus&) const = default;
};

// Reads, stops and starts services through the service control manager, and tells which
// TCP ports a service's process listens on. Failures raise PlatformError with the Win32 code
// (a service that does not exist: 1060; a stop or start that does not finish within its
// limit: 1053).
class ServiceManager {
public:
    virtual ~ServiceManager() = default;

    virtual ServiceStatus query(const std::wstring& serviceName) = 0;

    // The services that depend on this one, directly or not, and run now; in the order
    // they have to be stopped (each before the services it depends on).
    virtual std::vector<std::wstring> runningDependents(const std::wstring& serviceName) = 0;

    // Asks the service to stop and waits until it has, following its reported progress,
    // for at most the limit. A service already stopped is left as it is.
    virtual void stop(const std::wstring& serviceName, std::chrono::milliseconds limit) = 0;

    // Starts the service and waits until it runs, for at most the limit. A start that ends
    // in the stopped state raises the exit code the service reported.
    virtual void start(const std::wstring& serviceName, std::chrono::milliseconds limit) = 0;

    // The local ports of the TCP listeners (IPv4 and IPv6) owned by the process, ascending,
    // each once.
    virtual std::vector<long> tcpListenPorts(unsigned long processId) = 0;

    // The names of the services that run in the process (more than one in a shared svchost).
    virtual std::vector<std::wstring> servicesIn(unsigned long processId) = 0;
};

} // namespace velkora

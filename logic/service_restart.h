#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "logic/listener_settings.h"
#include "platform/platform.h"

namespace velkora {

// Who listens where, from the system's TCP listener tables.
class ListenerTable {
public:
    virtual ~ListenerTable() = default;
    // The owning process ids of the TCP listeners on the port (IPv4 and IPv6); 0 for a
    // listener whose owner the system does not name.
    virtual std::vector<unsigned long> tcpListenerOwners(long port) = 0;
    // The ports on which the process has TCP listeners, ascending.
    virtual std::vector<long> tcpPortsOf(unsigned long processId) = 0;
};

// The listener tables as the restart reads them: the lockout guard's probe for the owners of
// a port, the service manager for the ports of a process.
class ProbeListenerTable : public ListenerTable {
public:
    ProbeListenerTable(PortProbe& probe, ServiceManager& services)
        : probe_(probe), services_(services) {}
    std::vector<unsigned long> tcpListenerOwners(long port) override;
    std::vector<long> tcpPortsOf(unsigned long processId) override;

private:
    PortProbe& probe_;
    ServiceManager& services_;
};

struct ServiceRestartLimits {
    std::chrono::milliseconds stop{std::chrono::seconds(60)};
    std::chrono::milliseconds start{std::chrono::seconds(60)};
    std::chrono::milliseconds verify{std::chrono::seconds(60)};
    std::chrono::milliseconds poll{std::chrono::milliseconds(500)};
};

struct ServiceRestartRequest {
    std::wstring serviceName;
    long newPort = 0;
    long oldPort = 0;
    ServiceRestartLimits limits;
};

// How the service was seen at one moment.
struct ServiceObservation {
    ServiceStatus status;
    std::vector<long> tcpPorts;
};

enum class RestartResult {
    Verified,       // listening on the new port
    RolledBack,     // the change was put back and the service listens on the old port again
    RollbackFailed, // putting back or restarting again failed too; things are as they are now
    NotVerified     // restarted for values already in place, not listening: nothing to put back
};

struct ServiceRestartOutcome {
    RestartResult result = RestartResult::Verified;
    // Why the new port was given up: the failed stop or start. Absent when the service ran
    // but did not listen on the new port in time.
    std::optional<PlatformError> error;
    std::optional<ServiceObservation> whenGivenUp;
    std::optional<PlatformError> rollbackError;
    std::optional<ServiceObservation> atEnd; // absent where the service could not be read
    // From the first stop to the listener seen on the new port (or to giving it up).
    std::chrono::milliseconds elapsed{0};
};

// Refuses, before anything is written, a service that could not be restarted: one that
// does not run (1062), or that or one of its running dependents does not accept the stop
// control (1052).
void checkServiceCanRestart(ServiceManager& services, const std::wstring& serviceName);

// Restarts the service so that it takes the new port: its running dependents are stopped
// first, then the service; the service is started, then those dependents. The new port
// counts as taken when, within the verify limit, a TCP listener on it belongs to the
// service's process (or, where the system names no owners, appeared while nothing else
// held the port). Otherwise the caller's undo puts the change back, the service is
// restarted the same way and checked on the old port.
ServiceRestartOutcome restartServiceAndVerify(ServiceManager& services, ListenerTable& listeners,
                                              Clock& clock, const ServiceRestartRequest& request,
                                              const std::function<void()>& undoChange);

// Where the running service listens, as against a port: on it (a TCP listener on the port
// belongs to its process, or to an owner the system does not name), elsewhere (its process
// listens on other ports only: it has not taken the port up yet), or unseen (not running,
// unreadable, or no listener of its process to be seen).
enum class ServiceListener { OnPort, Elsewhere, Unseen };
ServiceListener whereServiceListens(ServiceManager& services, ListenerTable& listeners,
                                    const std::wstring& serviceName, long port);

// The one port the running service's own process listens on besides the ports of the other
// Remote Desktop listeners: the port RDP-Tcp listens on now. None where that cannot be seen
// (not running, a shared process, owners not named) or more than one port is left.
std::optional<long> portServiceListensOn(ServiceManager& services, ListenerTable& listeners,
                                         const std::wstring& serviceName,
                                         const std::vector<RemoteDesktopListener>& configured);

// Restarts the service, as above, for values that held the new port already, and waits for
// its listener there. When it does not come there is nothing to put back: NotVerified, with
// the failed stop or start or else the missing listener as the error.
ServiceRestartOutcome restartServiceForValuesInPlace(ServiceManager& services,
                                                     ListenerTable& listeners, Clock& clock,
                                                     const ServiceRestartRequest& request);

} // namespace velkora

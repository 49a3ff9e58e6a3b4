#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform_error.h"
#include "platform/service_manager.h"
#include "platform/wait_clock.h"

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
    ServiceControlStatus status;
    std::vector<long> tcpPorts;
};

enum class RestartResult {
    Verified,      // listening on the new port
    RolledBack,    // the change was put back and the service listens on the old port again
    RollbackFailed // putting back or restarting again failed too; things are as they are now
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
// does not run (1062) or does not accept the stop control (1052).
void checkServiceCanRestart(ServiceManager& services, const std::wstring& serviceName);

// Restarts the service so that it takes the new port: its running dependents are stopped
// first, then the service; the service is started, then those dependents. The new port
// counts as taken when, within the verify limit, a TCP listener on it belongs to the
// service's process (or, where the system names no owners, appeared while nothing else
// held the port). Otherwise the caller's undo puts the change back, the service is
// restarted the same way and checked on the old port.
ServiceRestartOutcome restartServiceAndVerify(ServiceManager& services, ListenerTable& listeners,
                                              WaitClock& clock,
                                              const ServiceRestartRequest& request,
                                              const std::function<void()>& undoChange);

// The whole change with a restart of the service: the check above, before anything is
// written; then the change, which returns how to undo it (or nothing when it found nothing
// to change: then there is no restart either); then the restart.
std::optional<ServiceRestartOutcome>
applyWithServiceRestart(ServiceManager& services, ListenerTable& listeners, WaitClock& clock,
                        const ServiceRestartRequest& request,
                        const std::function<std::function<void()>()>& applyChange);

} // namespace velkora

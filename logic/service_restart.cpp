#include "logic/service_restart.h"

#include <algorithm>

namespace velkora {
namespace {

constexpr long errorServiceNotActive = 1062;
constexpr long errorInvalidServiceControl = 1052;

class Restart {
public:
    Restart(ServiceManager& services, ListenerTable& listeners, WaitClock& clock,
            const ServiceRestartRequest& request)
        : services_(services), listeners_(listeners), clock_(clock), request_(request) {}

    // Stops and starts the service and the dependents that ran before the first stop; then
    // waits for the listener. Raises the failure of a stop or start.
    bool cycleAndVerify(long port) {
        if (!dependents_) {
            dependents_ = services_.runningDependents(request_.serviceName);
        }
        touched_ = true;
        for (const std::wstring& dependent : *dependents_) {
            services_.stop(dependent, request_.limits.stop);
        }
        services_.stop(request_.serviceName, request_.limits.stop);
        const bool heldByOther = !listeners_.tcpListenerOwners(port).empty();
        services_.start(request_.serviceName, request_.limits.start);
        for (auto it = dependents_->rbegin(); it != dependents_->rend(); ++it) {
            services_.start(*it, request_.limits.start);
        }
        return listenerAppears(port, heldByOther);
    }

    // Whether a stop has been asked for: before that, the service runs as it did.
    bool touched() const { return touched_; }

    // Waits for the listener of a service that was not restarted.
    bool listensNow(long port) { return listenerAppears(port, false); }

    // For the report only: what cannot be read is left out.
    std::optional<ServiceObservation> observe() {
        try {
            ServiceObservation seen;
            seen.status = services_.query(request_.serviceName);
            if (seen.status.processId != 0) {
                seen.tcpPorts = listeners_.tcpPortsOf(seen.status.processId);
            }
            return seen;
        } catch (const PlatformError&) {
            return std::nullopt;
        }
    }

private:
    bool listenerAppears(long port, bool heldByOther) {
        const auto deadline = clock_.now() + request_.limits.verify;
        for (;;) {
            if (serviceListensOn(port, heldByOther)) {
                return true;
            }
            if (clock_.now() >= deadline) {
                return false;
            }
            clock_.sleepFor(request_.limits.poll);
        }
    }

    bool serviceListensOn(long port, bool heldByOther) {
        const ServiceControlStatus status = services_.query(request_.serviceName);
        if (status.state != ServiceState::Running) {
            return false;
        }
        const std::vector<unsigned long> owners = listeners_.tcpListenerOwners(port);
        return std::any_of(owners.begin(), owners.end(), [&](unsigned long owner) {
            return (owner != 0 && owner == status.processId) || (owner == 0 && !heldByOther);
        });
    }

    ServiceManager& services_;
    ListenerTable& listeners_;
    WaitClock& clock_;
    const ServiceRestartRequest& request_;
    std::optional<std::vector<std::wstring>> dependents_;
    bool touched_ = false;
};

PlatformError notListening(const std::wstring& serviceName, long port) {
    return PlatformError(errorServiceNotActive, L"服务 " + serviceName + L" 没有在端口 " +
                                                    std::to_wstring(port) + L" 上监听。");
}

// Stops and starts the service and waits for it on the new port, keeping a failed stop or
// start and the time taken in the outcome. Whether it listens on the new port.
bool cycleToNewPort(Restart& restart, WaitClock& clock, long newPort,
                    ServiceRestartOutcome& outcome) {
    const auto started = clock.now();
    bool verified = false;
    try {
        verified = restart.cycleAndVerify(newPort);
    } catch (const PlatformError& failure) {
        outcome.error = failure;
    }
    outcome.elapsed = clock.now() - started;
    return verified;
}

} // namespace

void checkServiceCanRestart(ServiceManager& services, const std::wstring& serviceName) {
    const ServiceControlStatus status = services.query(serviceName);
    if (status.state != ServiceState::Running) {
        throw PlatformError(errorServiceNotActive,
                            L"服务 " + serviceName + L" 没有运行，无法用重启服务来应用新端口。");
    }
    if (!status.acceptsStop) {
        throw PlatformError(errorInvalidServiceControl,
                            L"服务 " + serviceName + L" 现在不接受停止请求，无法重启它。");
    }
}

ServiceRestartOutcome restartServiceAndVerify(ServiceManager& services, ListenerTable& listeners,
                                              WaitClock& clock,
                                              const ServiceRestartRequest& request,
                                              const std::function<void()>& undoChange) {
    Restart restart(services, listeners, clock, request);
    ServiceRestartOutcome outcome;
    const bool verified = cycleToNewPort(restart, clock, request.newPort, outcome);
    if (verified) {
        outcome.atEnd = restart.observe();
        return outcome;
    }

    outcome.whenGivenUp = restart.observe();
    outcome.result = RestartResult::RollbackFailed;
    try {
        undoChange();
    } catch (const PlatformError& failure) {
        outcome.rollbackError = failure;
    }
    // Even with the change not fully put back, the service is brought up again; one that
    // was never stopped still runs as before.
    try {
        const bool listensOnOld = restart.touched() ? restart.cycleAndVerify(request.oldPort)
                                                    : restart.listensNow(request.oldPort);
        if (!outcome.rollbackError) {
            if (listensOnOld) {
                outcome.result = RestartResult::RolledBack;
            } else {
                outcome.rollbackError = notListening(request.serviceName, request.oldPort);
            }
        }
    } catch (const PlatformError& failure) {
        if (!outcome.rollbackError) {
            outcome.rollbackError = failure;
        }
    }
    outcome.atEnd = restart.observe();
    return outcome;
}

ServiceListener whereServiceListens(ServiceManager& services, ListenerTable& listeners,
                                    const std::wstring& serviceName, long port) {
    try {
        const ServiceControlStatus status = services.query(serviceName);
        if (status.state != ServiceState::Running || status.processId == 0) {
            return ServiceListener::Unseen;
        }
        const std::vector<unsigned long> owners = listeners.tcpListenerOwners(port);
        if (std::any_of(owners.begin(), owners.end(), [&](unsigned long owner) {
                return owner == status.processId || owner == 0;
            })) {
            return ServiceListener::OnPort;
        }
        return listeners.tcpPortsOf(status.processId).empty() ? ServiceListener::Unseen
                                                              : ServiceListener::Elsewhere;
    } catch (const PlatformError&) {
        return ServiceListener::Unseen;
    }
}

ServiceRestartOutcome restartServiceForValuesInPlace(ServiceManager& services,
                                                     ListenerTable& listeners, WaitClock& clock,
                                                     const ServiceRestartRequest& request) {
    Restart restart(services, listeners, clock, request);
    ServiceRestartOutcome outcome;
    const bool verified = cycleToNewPort(restart, clock, request.newPort, outcome);
    if (!verified) {
        outcome.result = RestartResult::NotVerified;
        outcome.whenGivenUp = restart.observe();
        if (!outcome.error) {
            outcome.error = notListening(request.serviceName, request.newPort);
        }
    }
    outcome.atEnd = restart.observe();
    return outcome;
}

std::optional<ServiceRestartOutcome>
applyWithServiceRestart(ServiceManager& services, ListenerTable& listeners, WaitClock& clock,
                        const ServiceRestartRequest& request,
                        const std::function<std::function<void()>()>& applyChange) {
    checkServiceCanRestart(services, request.serviceName);
    const std::function<void()> undoChange = applyChange();
    if (!undoChange) {
        return std::nullopt;
    }
    return restartServiceAndVerify(services, listeners, clock, request, undoChange);
}

} // namespace velkora

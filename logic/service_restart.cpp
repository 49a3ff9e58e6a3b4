#include "logic/service_restart.h"

#include <algorithm>

#include "logic/listener_settings.h"
#include "logic/remote_desktop_status.h"
#include "platform/error_record.h"

namespace velkora {
namespace {

class Restart {
public:
    Restart(ServiceManager& services, ListenerTable& listeners, Clock& clock,
            const ServiceRestartRequest& request)
        : services_(services), listeners_(listeners), clock_(clock), request_(request) {}

    // Stops the dependents that ran before the first stop, then the service; then starts
    // everything whose stop was asked for, the service first, whatever failed in between; then
    // waits for the listener. Raises the first failure of a stop or start.
    bool cycleAndVerify(long port) {
        if (!dependents_) {
            dependents_ = services_.runningDependents(request_.serviceName);
        }
        std::vector<std::wstring>& stopped = stopped_;
        stopped.clear();
        std::optional<PlatformError> failure;
        try {
            for (const std::wstring& dependent : *dependents_) {
                stopped.push_back(dependent);
                services_.stop(dependent, request_.limits.stop);
            }
            stopped.push_back(request_.serviceName);
            serviceStopped_ = true;
            services_.stop(request_.serviceName, request_.limits.stop);
        } catch (const PlatformError& stopFailure) {
            failure = stopFailure;
        }
        const bool heldByOther = !failure && !ownersOf(port).empty();
        startAgain(stopped, failure);
        if (failure) {
            throw *failure;
        }
        return listenerAppears(port, heldByOther);
    }

    // A second try for a service a failed start left stopped: what was stopped is started
    // once more. Failures are left to the report, which reads the state.
    void startAgainIfDown() {
        try {
            if (services_.query(request_.serviceName).state == ServiceState::Running) {
                return;
            }
        } catch (const PlatformError& failure) {
            keepPassedOver(failure);
        }
        std::optional<PlatformError> ignored;
        startAgain(stopped_, ignored);
    }

    // Whether the service itself was asked to stop: before that, it runs as it did.
    bool serviceStopped() const { return serviceStopped_; }

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
        } catch (const PlatformError& failure) {
            keepPassedOver(failure);
            return std::nullopt;
        }
    }

private:
    // The service first, then its dependents in the reverse of their stop order; each is
    // tried, and the first failure is kept.
    void startAgain(const std::vector<std::wstring>& stopped,
                    std::optional<PlatformError>& failure) {
        const auto start = [&](const std::wstring& name) {
            try {
                services_.start(name, request_.limits.start);
            } catch (const PlatformError& startFailure) {
                if (!failure) {
                    failure = startFailure;
                }
            }
        };
        if (std::find(stopped.begin(), stopped.end(), request_.serviceName) != stopped.end()) {
            start(request_.serviceName);
        }
        for (auto it = dependents_->rbegin(); it != dependents_->rend(); ++it) {
            if (std::find(stopped.begin(), stopped.end(), *it) != stopped.end()) {
                start(*it);
            }
        }
    }

    // The listeners on the port; one that cannot be read counts as none, so that reading the
    // table never stands between a stop and its start.
    std::vector<unsigned long> ownersOf(long port) {
        try {
            return listeners_.tcpListenerOwners(port);
        } catch (const PlatformError& failure) {
            keepPassedOver(failure);
            return {};
        }
    }

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
        const ServiceStatus status = services_.query(request_.serviceName);
        if (status.state != ServiceState::Running) {
            return false;
        }
        const std::vector<unsigned long> owners = ownersOf(port);
        return std::any_of(owners.begin(), owners.end(), [&](unsigned long owner) {
            return (owner != 0 && owner == status.processId) || (owner == 0 && !heldByOther);
        });
    }

    ServiceManager& services_;
    ListenerTable& listeners_;
    Clock& clock_;
    const ServiceRestartRequest& request_;
    std::optional<std::vector<std::wstring>> dependents_;
    std::vector<std::wstring> stopped_; // by the last cycle, in the order asked
    bool serviceStopped_ = false;
};

PlatformError notListening(const std::wstring& serviceName, long port) {
    return PlatformError(ErrorNumber::ServiceNotActive, L"服务 " + serviceName + L" 没有在端口 " +
                                                            std::to_wstring(port) + L" 上监听。");
}

// Stops and starts the service and waits for it on the new port, keeping a failed stop or
// start and the time taken in the outcome. Whether it listens on the new port.
bool cycleToNewPort(Restart& restart, Clock& clock, long newPort, ServiceRestartOutcome& outcome) {
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
    const ServiceStatus status = services.query(serviceName);
    if (status.state != ServiceState::Running) {
        throw PlatformError(ErrorNumber::ServiceNotActive,
                            L"服务 " + serviceName + L" 没有运行，无法用重启服务来应用新端口。");
    }
    const auto refuseUnlessItStops = [](const std::wstring& name, const ServiceStatus& s) {
        if (!s.acceptsStop) {
            throw PlatformError(ErrorNumber::InvalidServiceControl,
                                L"服务 " + name + L" 现在不接受停止请求，无法重启它。");
        }
    };
    refuseUnlessItStops(serviceName, status);
    // Its running dependents are stopped first: one that would refuse would leave the restart
    // half done. Where they cannot be listed, the restart itself says so before any stop.
    std::vector<std::wstring> dependents;
    try {
        dependents = services.runningDependents(serviceName);
    } catch (const PlatformError& failure) {
        keepPassedOver(failure);
    }
    for (const std::wstring& dependent : dependents) {
        refuseUnlessItStops(dependent, services.query(dependent));
    }
}

ServiceRestartOutcome restartServiceAndVerify(ServiceManager& services, ListenerTable& listeners,
                                              Clock& clock, const ServiceRestartRequest& request,
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
        // A service that was never stopped still listens where it did: a dependent that
        // would not stop is no reason to cut every session again.
        const bool listensOnOld = restart.serviceStopped() ? restart.cycleAndVerify(request.oldPort)
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
        const ServiceStatus status = services.query(serviceName);
        if (status.state != ServiceState::Running || status.processId == 0) {
            return ServiceListener::Unseen;
        }
        const std::vector<unsigned long> owners = listeners.tcpListenerOwners(port);
        if (std::any_of(owners.begin(), owners.end(), [&](unsigned long owner) {
                return owner == status.processId || owner == 0;
            })) {
            return ServiceListener::OnPort;
        }
        // In a shared process the other ports may be any co-hosted service's.
        if (services.servicesIn(status.processId).size() > 1) {
            return ServiceListener::Unseen;
        }
        return listeners.tcpPortsOf(status.processId).empty() ? ServiceListener::Unseen
                                                              : ServiceListener::Elsewhere;
    } catch (const PlatformError& failure) {
        keepPassedOver(failure);
        return ServiceListener::Unseen;
    }
}

ServiceRestartOutcome restartServiceForValuesInPlace(ServiceManager& services,
                                                     ListenerTable& listeners, Clock& clock,
                                                     const ServiceRestartRequest& request) {
    Restart restart(services, listeners, clock, request);
    ServiceRestartOutcome outcome;
    const bool verified = cycleToNewPort(restart, clock, request.newPort, outcome);
    if (!verified) {
        restart.startAgainIfDown();
        outcome.result = RestartResult::NotVerified;
        outcome.whenGivenUp = restart.observe();
        if (!outcome.error) {
            outcome.error = notListening(request.serviceName, request.newPort);
        }
    }
    outcome.atEnd = restart.observe();
    return outcome;
}

std::vector<unsigned long> ProbeListenerTable::tcpListenerOwners(long port) {
    std::vector<unsigned long> owners;
    for (const PortHolder& holder : probe_.holders(port)) {
        if (holder.protocol == PortProtocol::Tcp) {
            owners.push_back(holder.pid);
        }
    }
    return owners;
}

std::vector<long> ProbeListenerTable::tcpPortsOf(unsigned long processId) {
    return services_.tcpListenPorts(processId);
}

std::optional<long> portServiceListensOn(ServiceManager& services, ListenerTable& listeners,
                                         const std::wstring& serviceName,
                                         const std::vector<RemoteDesktopListener>& configured) {
    try {
        const ServiceStatus status = services.query(serviceName);
        if (status.state != ServiceState::Running || status.processId == 0 ||
            services.servicesIn(status.processId).size() > 1) {
            return std::nullopt;
        }
        std::vector<long> ports = listeners.tcpPortsOf(status.processId);
        for (const RemoteDesktopListener& other : configured) {
            if (!sameListenerName(other.name, rdpTcpListenerName)) {
                ports.erase(std::remove(ports.begin(), ports.end(), other.port), ports.end());
            }
        }
        return ports.size() == 1 ? std::optional<long>(ports[0]) : std::nullopt;
    } catch (const PlatformError& failure) {
        keepPassedOver(failure);
        return std::nullopt;
    }
}

} // namespace velkora

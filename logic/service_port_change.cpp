#include "logic/service_port_change.h"

#include "logic/confirmed_change.h"
#include "logic/listener_settings.h"
#include "logic/remote_desktop_status.h"

namespace velkora {
namespace {

PlatformError notListeningBefore(const std::wstring& serviceName, long port) {
    return PlatformError(
        ErrorNumber::ServiceNotActive,
        L"服务 " + serviceName + L" 现在没有在端口 " + std::to_wstring(port) +
            L" 上监听（远程桌面连接被禁止，或监听已停用），重启后无法确认新端口。");
}

} // namespace

std::optional<long> listenerMovesFrom(SystemServices& system, long port, bool restartsWhenUnseen) {
    ProbeListenerTable listeners(system.ports, system.services);
    const ServiceListener where =
        whereServiceListens(system.services, listeners, remoteDesktopServiceName, port);
    if (where == ServiceListener::OnPort ||
        (where == ServiceListener::Unseen && !restartsWhenUnseen)) {
        return std::nullopt;
    }
    const std::optional<long> listened =
        portServiceListensOn(system.services, listeners, remoteDesktopServiceName,
                             listenersIfReadable(system.info, system.registry));
    if (!listened) {
        throw PlatformError(ErrorNumber::ServiceNotActive,
                            L"端口值已是 " + std::to_wstring(port) + L"，但无法确定服务 " +
                                remoteDesktopServiceName +
                                L" 现在监听的端口，到截止时间无法改回：未做任何修改。");
    }
    return listened;
}

bool listenerAwaitsRestart(SystemServices& system, long port) {
    ProbeListenerTable listeners(system.ports, system.services);
    return whereServiceListens(system.services, listeners, remoteDesktopServiceName, port) ==
           ServiceListener::Elsewhere;
}

ServicePortChange changePortWithServiceRestart(SystemServices& system, const HeldChangeLock& held,
                                               const std::wstring& portText,
                                               const ServiceRestartLimits& limits,
                                               OnInterruptedChange onInterrupted,
                                               const std::optional<std::wstring>& allowFrom,
                                               UnconfirmedChange* confirmation) {
    ProbeListenerTable listeners(system.ports, system.services);
    checkServiceCanRestart(system.services, remoteDesktopServiceName);

    PortChange change(system, portText, allowFrom);
    refuseUnsafeChange(system, held, change, onInterrupted);
    ServicePortChange result;
    result.oldPort = change.listenerPortBefore();
    ServiceRestartRequest request;
    request.serviceName = remoteDesktopServiceName;
    request.newPort = change.port();
    request.oldPort = result.oldPort.value_or(3389); // the listener's default without a value
    request.limits = limits;
    const bool listenerMoves = change.listenerPortBefore() != change.port();
    // A restart can only be verified, and put back, where the service is seen listening on
    // the port it has now: otherwise every session would be cut for nothing.
    if (listenerMoves && whereServiceListens(system.services, listeners, request.serviceName,
                                             request.oldPort) != ServiceListener::OnPort) {
        throw notListeningBefore(request.serviceName, request.oldPort);
    }
    // Values written earlier that the service has not taken up: moving it from the port it
    // listens on is the change that is confirmed, and put back onto that port.
    std::optional<long> listenedPort;
    if (confirmation != nullptr && change.listenerValuesInPlace()) {
        listenedPort = listenerMovesFrom(system, change.port(), true);
    }
    if (listenedPort) {
        confirmation->movesListenerFrom(*listenedPort);
        result.oldPort = request.oldPort = *listenedPort;
    }

    result.change = applyConfirmed(change, WhenInPlace::LeaveAlone, confirmation);
    if (result.change.listenerChanged || listenedPort) {
        result.restart =
            restartServiceAndVerify(system.services, listeners, system.clock, request, [&] {
                change.putBack();
                if (listenedPort) {
                    putListenerBackOn(system.registry, *listenedPort);
                }
            });
        if (result.restart->result == RestartResult::RollbackFailed) {
            result.listenerPortNow = listeningPort(system.registry);
        } else if (confirmation != nullptr && confirmation->begun()) {
            if (result.restart->result == RestartResult::Verified) {
                confirmation->awaitConfirmation();
            } else {
                confirmation->end();
            }
        }
        return result;
    }
    // A make-good of the rules alone (the listener stays where it is) awaits confirmation too.
    if (confirmation != nullptr && confirmation->begun()) {
        confirmation->awaitConfirmation();
    }
    // The values were in place already, maybe written without a restart: the service is
    // restarted unless it listens on the port.
    if (whereServiceListens(system.services, listeners, request.serviceName, request.newPort) !=
        ServiceListener::OnPort) {
        result.restartedForValuesInPlace = true;
        result.restart =
            restartServiceForValuesInPlace(system.services, listeners, system.clock, request);
    }
    return result;
}

} // namespace velkora

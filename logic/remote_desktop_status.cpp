#include "logic/remote_desktop_status.h"

#include <memory>

#include "logic/firewall_rules.h"
#include "logic/listener_settings.h"
#include "platform/error_record.h"

namespace velkora {

const std::wstring denyConnectionsPath =
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\"
    L"fDenyTSConnections";
const std::wstring denyConnectionsPolicyPath =
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Microsoft\\Windows NT\\Terminal Services\\"
    L"fDenyTSConnections";
const std::wstring remoteDesktopServiceName = L"TermService";

namespace {

// The value of a read that may fail, or nothing when it does.
template <typename Read> auto unlessUnreadable(Read read) -> std::optional<decltype(read())> {
    try {
        return read();
    } catch (const PlatformError& failure) {
        keepPassedOverUnlessAbsent(failure);
        return std::nullopt;
    }
}

// The policy value, when set, decides; a missing policy value leaves it to the setting.
void readAllowed(Registry& registry, RemoteDesktopStatus& status) {
    try {
        status.allowed = registry.readNumber(denyConnectionsPolicyPath) == 0;
        status.allowedByPolicy = true;
        return;
    } catch (const PlatformError& failure) {
        if (failure.number() != ErrorNumber::FileNotFound) {
            keepPassedOver(failure);
            return;
        }
    }
    const auto deny = unlessUnreadable([&] { return registry.readNumber(denyConnectionsPath); });
    if (deny) {
        status.allowed = *deny == 0;
    }
}

void readService(ServiceManager& services, RemoteDesktopStatus& status) {
    status.service = unlessUnreadable([&] { return services.query(remoteDesktopServiceName); });
    if (!status.service) {
        return;
    }
    if (status.service->processId == 0) {
        status.serviceTcpPorts = std::vector<long>{};
        return;
    }
    status.serviceTcpPorts =
        unlessUnreadable([&] { return services.tcpListenPorts(status.service->processId); });
}

} // namespace

RemoteDesktopStatus readRemoteDesktopStatus(SystemServices& system) {
    RemoteDesktopStatus status;
    const ListenerPortValues ports = readListenerPortValues(system.registry);
    status.port = ports.listening;
    status.tdsPort = ports.tds;
    status.rdpTcpPort = ports.rdpTcp;

    const auto rules = unlessUnreadable([&] { return captureRules(system.firewall, status.port); });
    status.firewallAvailable = rules && rules->has_value();
    if (status.firewallAvailable) {
        const std::array<FirewallRule, 2> ours = buildFirewallRules(status.port);
        const auto& [tcp, udp] = **rules;
        status.tcpRule = rulePresent(tcp, ours[0]);
        status.udpRule = rulePresent(udp, ours[1]);
        status.tcpRemoteAddresses = tcp ? std::optional(tcp->remoteAddresses) : std::nullopt;
        status.udpRemoteAddresses = udp ? std::optional(udp->remoteAddresses) : std::nullopt;
    }
    status.listeners =
        unlessUnreadable([&] { return readListeners(system.info, system.registry); });
    readAllowed(system.registry, status);
    readService(system.services, status);
    return status;
}

} // namespace velkora

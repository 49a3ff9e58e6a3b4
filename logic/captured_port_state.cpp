#include "logic/captured_port_state.h"

#include "logic/firewall_rules.h"
#include "logic/port_change.h"
#include "logic/port_change_set.h"

namespace velkora {

CapturedPortState CapturedPortState::capture(Platform& platform, ShellObject& shell,
                                             const std::wstring& portText) {
    CapturedPortState state;
    for (const RegistryWrite& write : buildPortChangeSet(portText)) {
        state.values_.emplace_back(write.path, shell.capture(write.path));
    }
    if (platform.firewall.available()) {
        for (const FirewallRule& rule : buildFirewallRules(portNumber(portText))) {
            state.rules_.emplace_back(rule.name, platform.firewall.find(rule.name));
        }
    }
    return state;
}

void CapturedPortState::restore(Platform& platform, ShellObject& shell) const {
    std::optional<PlatformError> firstFailure;
    const auto attempt = [&](auto&& action) {
        try {
            action();
        } catch (const PlatformError& failure) {
            if (!firstFailure) {
                firstFailure = failure;
            }
        }
    };
    for (auto it = values_.rbegin(); it != values_.rend(); ++it) {
        attempt([&] { shell.restore(it->first, it->second); });
    }
    for (const auto& rule : rules_) {
        attempt([&] {
            if (rule.second) {
                platform.firewall.put(*rule.second);
            } else {
                platform.firewall.remove(rule.first);
            }
        });
    }
    if (firstFailure) {
        throw *firstFailure;
    }
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
    return monitor_.tcpListenPorts(processId);
}

} // namespace velkora

#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "logic/service_restart.h"
#include "platform/platform.h"

namespace velkora {

// The four values and the two firewall rules that a change to a port would touch, as they
// are before it: to put them back exactly once the change has been made.
class CapturedPortState {
public:
    static CapturedPortState capture(Platform& platform, ShellObject& shell,
                                     const std::wstring& portText);

    // Values newest first, then the rules; tries everything, raises the first failure.
    void restore(Platform& platform, ShellObject& shell) const;

private:
    std::vector<std::pair<std::wstring, RegistryValueState>> values_;
    std::vector<std::pair<std::wstring, std::optional<FirewallRule>>> rules_;
};

// The listener tables as the restart's verification reads them, from the lockout guard's
// probe and the service monitor.
class ProbeListenerTable : public ListenerTable {
public:
    ProbeListenerTable(PortProbe& probe, ServiceMonitor& monitor)
        : probe_(probe), monitor_(monitor) {}
    std::vector<unsigned long> tcpListenerOwners(long port) override;
    std::vector<long> tcpPortsOf(unsigned long processId) override;

private:
    PortProbe& probe_;
    ServiceMonitor& monitor_;
};

} // namespace velkora

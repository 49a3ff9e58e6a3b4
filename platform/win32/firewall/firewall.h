#pragma once

#include "platform/firewall.h"

namespace velkora::win32 {

// The Windows Firewall with Advanced Security, through INetFwPolicy2. Each operation
// brings COM up on the calling thread for its own length.
class NetFwFirewall final : public Firewall {
public:
    bool available() override;
    std::optional<FirewallRule> find(const std::wstring& name) override;
    void put(const FirewallRule& rule) override;
    void remove(const std::wstring& name) override;
};

// True unless the firewall service (MpsSvc) is missing or stopped.
bool firewallServiceActive();

} // namespace velkora::win32

#pragma once

#include <windows.h>
#include <netfw.h>

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
    std::vector<FirewallRule> allRules() override;
    void setEnabled(const std::wstring& name, bool enabled) override;
    bool removeMatching(const FirewallRule& rule) override;
    bool setEnabledMatching(const FirewallRule& rule, bool enabled) override;
    void add(const FirewallRule& rule) override;
};

// Writes the fields the tool keeps into a rule, in the order the interface requires: the
// protocol before the local ports, and where the protocol changes, the ports cleared first
// (ports are refused for a protocol without them, and a protocol change while they are set).
// A refused property does not stop the others; the first refusal is raised after all.
void writeRuleFields(INetFwRule& rule, const FirewallRule& fields);

// True unless the firewall service (MpsSvc) is missing or stopped.
bool firewallServiceActive();

} // namespace velkora::win32

#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velkora {

namespace FirewallProtocol {
constexpr long Tcp = 6;
constexpr long Udp = 17;
} // namespace FirewallProtocol

// One firewall rule, with the fields the tool sets. Direction, action and profiles keep
// the numbers of the firewall API (NET_FW_RULE_DIR_IN = 1, NET_FW_ACTION_ALLOW = 1,
// NET_FW_PROFILE2_ALL = 0x7FFFFFFF).
struct FirewallRule {
    std::wstring name;
    std::wstring description;
    std::wstring grouping;
    // The program and service the rule is bound to; empty where it is bound to none.
    std::wstring applicationName;
    std::wstring serviceName;
    long protocol = FirewallProtocol::Tcp;
    // The firewall's own text: one port ("888"), or a range or list ("3389-3390,5000")
    // in a rule made by someone else, kept exactly so that it can be put back.
    std::wstring localPorts;
    long direction = 1;
    long action = 1;
    long profiles = 0x7FFFFFFF;
    std::wstring remoteAddresses = L"*";
    bool enabled = true;

    bool operator==(const FirewallRule&) const = default;
};

// The modern Windows Firewall (INetFwPolicy2). Failures raise PlatformError with the
// HRESULT as the number.
class Firewall {
public:
    virtual ~Firewall() = default;
    // False where the modern API does not exist or the firewall service is not running.
    virtual bool available() = 0;
    virtual std::optional<FirewallRule> find(const std::wstring& name) = 0;
    // Adds the rule, or makes the rule of that name match it.
    virtual void put(const FirewallRule& rule) = 0;
    virtual void remove(const std::wstring& name) = 0;
    // Every rule, in the firewall's order.
    virtual std::vector<FirewallRule> allRules() = 0;
    // Enables or disables the rule of that name (the first, where names repeat), changing
    // nothing else of it.
    virtual void setEnabled(const std::wstring& name, bool enabled) = 0;

    // Where names repeat, the rule meant is the one whose every field is as given (its enabled
    // state included): the first such rule is removed, or enabled or disabled. False when no
    // rule is so, and nothing changed.
    virtual bool removeMatching(const FirewallRule& rule) = 0;
    virtual bool setEnabledMatching(const FirewallRule& rule, bool enabled) = 0;
    // Adds the rule as one of its own, whatever other rules bear its name.
    virtual void add(const FirewallRule& rule) = 0;
};

} // namespace velkora

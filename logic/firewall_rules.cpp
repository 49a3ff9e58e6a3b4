#include "logic/firewall_rules.h"

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "logic/undo.h"
#include "platform/platform_error.h"

namespace velkora {
namespace {

constexpr long inbound = 1;
constexpr long allow = 1;
constexpr long allProfiles = 0x7FFFFFFF;

FirewallRule remoteDesktopRule(long port, long protocol, const wchar_t* protocolName) {
    FirewallRule rule;
    rule.name = L"远程桌面端口 " + std::to_wstring(port) + L" (" + protocolName + L")";
    rule.description = L"由 Velkora工具 为远程桌面监听端口添加";
    rule.grouping = L"Velkora工具";
    rule.protocol = protocol;
    rule.localPorts = std::to_wstring(port);
    rule.direction = inbound;
    rule.action = allow;
    rule.profiles = allProfiles;
    rule.remoteAddresses = L"*";
    rule.enabled = true;
    return rule;
}

// A rule as it was before this run touched it: absent, or its old fields.
struct RuleChange {
    std::wstring name;
    std::optional<FirewallRule> before;
};

// Puts back every rule this run touched, newest first; tries all, raises the first failure.
void putBack(Firewall& firewall, const std::vector<RuleChange>& changes) {
    putBackNewestFirst(changes.size(), [&](std::size_t i) {
        if (changes[i].before) {
            firewall.put(*changes[i].before);
        } else {
            firewall.remove(changes[i].name);
        }
    });
}

} // namespace

std::array<FirewallRule, 2> buildFirewallRules(long port) {
    return {remoteDesktopRule(port, FirewallProtocol::Tcp, L"TCP"),
            remoteDesktopRule(port, FirewallProtocol::Udp, L"UDP")};
}

FirewallOutcome openPortInFirewall(Firewall& firewall, long port) {
    FirewallOutcome outcome;
    if (!firewall.available()) {
        return outcome;
    }
    outcome.available = true;
    std::vector<RuleChange> changes;
    for (const FirewallRule& rule : buildFirewallRules(port)) {
        RuleOutcome& ruleOutcome =
            rule.protocol == FirewallProtocol::Tcp ? outcome.tcp : outcome.udp;
        std::optional<FirewallRule> before = firewall.find(rule.name);
        if (before == rule) {
            ruleOutcome = RuleOutcome::Present;
            continue;
        }
        ruleOutcome = RuleOutcome::Added;
        // Recorded before the put: a put that fails half-way may have changed the rule,
        // and putting back its old state (or removing a rule that is not there) is harmless.
        changes.push_back({rule.name, std::move(before)});
        undoOnFailure([&] { firewall.put(rule); }, [&] { putBack(firewall, changes); });
    }
    return outcome;
}

std::optional<std::array<bool, 2>> firewallRulesPresent(Firewall& firewall, long port) {
    if (!firewall.available()) {
        return std::nullopt;
    }
    const std::array<FirewallRule, 2> rules = buildFirewallRules(port);
    return std::array<bool, 2>{firewall.find(rules[0].name) == rules[0],
                               firewall.find(rules[1].name) == rules[1]};
}

} // namespace velkora

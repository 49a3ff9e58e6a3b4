#include "logic/firewall_rules.h"

#include <cstddef>
#include <optional>
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

} // namespace

std::array<FirewallRule, 2> buildFirewallRules(long port) {
    return {remoteDesktopRule(port, FirewallProtocol::Tcp, L"TCP"),
            remoteDesktopRule(port, FirewallProtocol::Udp, L"UDP")};
}

CapturedRules captureRules(Firewall& firewall, long port) {
    if (!firewall.available()) {
        return std::nullopt;
    }
    const std::array<FirewallRule, 2> rules = buildFirewallRules(port);
    return std::array<std::optional<FirewallRule>, 2>{firewall.find(rules[0].name),
                                                      firewall.find(rules[1].name)};
}

void putBackRule(Firewall& firewall, const std::wstring& name,
                 const std::optional<FirewallRule>& before) {
    if (before) {
        firewall.put(*before);
    } else {
        firewall.remove(name);
    }
}

FirewallOutcome openPortInFirewall(Firewall& firewall, long port, const CapturedRules& before) {
    FirewallOutcome outcome;
    if (!before) {
        return outcome;
    }
    outcome.available = true;
    const std::array<FirewallRule, 2> rules = buildFirewallRules(port);
    std::vector<std::size_t> touched;
    const auto putBackTouched = [&] {
        putBackNewestFirst(touched.size(), [&](std::size_t i) {
            putBackRule(firewall, rules[touched[i]].name, (*before)[touched[i]]);
        });
    };
    for (std::size_t i = 0; i < rules.size(); ++i) {
        RuleOutcome& ruleOutcome = i == 0 ? outcome.tcp : outcome.udp;
        if ((*before)[i] == rules[i]) {
            ruleOutcome = RuleOutcome::Present;
            continue;
        }
        ruleOutcome = RuleOutcome::Added;
        // Recorded before the put: a put that fails half-way may have changed the rule,
        // and putting back its old state (or removing a rule that is not there) is harmless.
        touched.push_back(i);
        undoOnFailure([&] { firewall.put(rules[i]); }, putBackTouched);
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

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

void openPortInFirewall(Firewall& firewall, long port) {
    if (!firewall.available()) {
        return;
    }
    std::vector<RuleChange> changes;
    for (const FirewallRule& rule : buildFirewallRules(port)) {
        std::optional<FirewallRule> before = firewall.find(rule.name);
        if (before == rule) {
            continue;
        }
        // Recorded before the put: a put that fails half-way may have changed the rule,
        // and putting back its old state (or removing a rule that is not there) is harmless.
        changes.push_back({rule.name, std::move(before)});
        undoOnFailure([&] { firewall.put(rule); }, [&] { putBack(firewall, changes); });
    }
}

} // namespace velkora

#include "logic/firewall_rules.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "logic/undo.h"
#include "logic/decimal_text.h"
#include "platform/platform_error.h"

namespace velkora {
namespace {

constexpr long inbound = 1;
constexpr long allow = 1;
constexpr long allProfiles = 0x7FFFFFFF;

FirewallRule remoteDesktopRule(long port, long protocol, const wchar_t* protocolName,
                               const std::wstring& remoteAddresses) {
    FirewallRule rule;
    rule.name = L"远程桌面端口 " + std::to_wstring(port) + L" (" + protocolName + L")";
    rule.description = L"由 Velkora工具 为远程桌面监听端口添加";
    rule.grouping = L"Velkora工具";
    // Bound to Remote Desktop, as Windows' own rules for it are: only it receives on the port.
    rule.applicationName = L"%SystemRoot%\\system32\\svchost.exe";
    rule.serviceName = L"termservice";
    rule.protocol = protocol;
    rule.localPorts = std::to_wstring(port);
    rule.direction = inbound;
    rule.action = allow;
    rule.profiles = allProfiles;
    rule.remoteAddresses = remoteAddresses;
    rule.enabled = true;
    return rule;
}

} // namespace

std::array<FirewallRule, 2> buildFirewallRules(long port, const std::wstring& remoteAddresses) {
    return {remoteDesktopRule(port, FirewallProtocol::Tcp, L"TCP", remoteAddresses),
            remoteDesktopRule(port, FirewallProtocol::Udp, L"UDP", remoteAddresses)};
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

bool letsThePortIn(const FirewallRule& existing, const FirewallRule& ours) {
    if (existing.protocol != ours.protocol || existing.direction != inbound ||
        existing.action != allow) {
        return false;
    }
    const long port = static_cast<long>(parseDwordText(ours.localPorts).value_or(0));
    std::size_t start = 0;
    while (start <= existing.localPorts.size()) {
        std::size_t end = existing.localPorts.find(L',', start);
        if (end == std::wstring::npos) {
            end = existing.localPorts.size();
        }
        const std::wstring item = existing.localPorts.substr(start, end - start);
        const std::size_t dash = item.find(L'-');
        const auto first = parseDwordText(item.substr(0, dash));
        const auto last =
            dash == std::wstring::npos ? first : parseDwordText(item.substr(dash + 1));
        if (first && last && *first <= static_cast<std::uint32_t>(port) &&
            static_cast<std::uint32_t>(port) <= *last) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

bool rulePresent(const std::optional<FirewallRule>& existing, const FirewallRule& ours) {
    return existing && existing->enabled && letsThePortIn(*existing, ours);
}

FirewallOutcome openPortInFirewall(Firewall& firewall, long port, const CapturedRules& before,
                                   std::vector<std::size_t>* touchedRules,
                                   const std::optional<std::wstring>& allowFrom) {
    FirewallOutcome outcome;
    if (!before) {
        return outcome;
    }
    outcome.available = true;
    const std::array<FirewallRule, 2> rules = buildFirewallRules(port, allowFrom.value_or(L"*"));
    std::vector<std::size_t> touched;
    const auto putBackTouched = [&] {
        putBackNewestFirst(touched.size(), [&](std::size_t i) {
            putBackRule(firewall, rules[touched[i]].name, (*before)[touched[i]]);
        });
    };
    for (std::size_t i = 0; i < rules.size(); ++i) {
        RuleOutcome& ruleOutcome = i == 0 ? outcome.tcp : outcome.udp;
        const std::optional<FirewallRule>& existing = (*before)[i];
        FirewallRule wanted = rules[i];
        if (existing && letsThePortIn(*existing, rules[i])) {
            // Its scope stays unless one was asked for; an unbound rule of ours from before is
            // bound, a disabled one enabled.
            wanted = *existing;
            wanted.enabled = true;
            wanted.applicationName = rules[i].applicationName;
            wanted.serviceName = rules[i].serviceName;
            wanted.remoteAddresses = allowFrom.value_or(existing->remoteAddresses);
            if (wanted == *existing) {
                ruleOutcome = RuleOutcome::Present;
                continue;
            }
            ruleOutcome = RuleOutcome::Updated;
        } else {
            ruleOutcome = RuleOutcome::Added;
        }
        // Recorded before the put: a put that fails half-way may have changed the rule,
        // and putting back its old state (or removing a rule that is not there) is harmless.
        touched.push_back(i);
        undoOnFailure([&] { firewall.put(wanted); }, putBackTouched);
    }
    if (touchedRules != nullptr) {
        *touchedRules = touched;
    }
    return outcome;
}

} // namespace velkora

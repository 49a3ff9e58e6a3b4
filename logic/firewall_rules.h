#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/firewall.h"

namespace velkora {

// The inbound allow rules that open port N for the Remote Desktop listener, TCP and UDP, to
// the remote addresses given (the firewall's own text).
std::array<FirewallRule, 2> buildFirewallRules(long port,
                                               const std::wstring& remoteAddresses = L"*");

// What became of one rule: put (new, or one of another port or protocol made to match), already
// there as it should be, a rule that let the port in already changed in place (enabled, bound
// to Remote Desktop, or given the remote addresses asked for), or not touched because the
// modern firewall is not there.
enum class RuleOutcome { Added, Present, Skipped, Updated };

struct FirewallOutcome {
    bool available = false;
    RuleOutcome tcp = RuleOutcome::Skipped;
    RuleOutcome udp = RuleOutcome::Skipped;

    bool operator==(const FirewallOutcome&) const = default;
};

// The two rules of the port as the firewall holds them before a change (TCP, UDP; absent
// where there is no rule of that name), read once; none where the modern firewall is not
// there.
using CapturedRules = std::optional<std::array<std::optional<FirewallRule>, 2>>;
CapturedRules captureRules(Firewall& firewall, long port);

// Puts a rule back as captured: its old fields, or no rule of that name.
void putBackRule(Firewall& firewall, const std::wstring& name,
                 const std::optional<FirewallRule>& before);

// Whether a rule (of our rule's name) already lets the port in for our rule's protocol: inbound,
// allow, that protocol, and the port among its local ports ("3389", "3389-3390,5000"), whatever
// its remote addresses and profiles. Its enabled state is not looked at.
bool letsThePortIn(const FirewallRule& existing, const FirewallRule& ours);

// A rule of that name lets the port in and is enabled: nothing to do.
bool rulePresent(const std::optional<FirewallRule>& existing, const FirewallRule& ours);

// Makes sure both rules let the port in, from what captureRules gave; skipped where the modern
// firewall is not there. A rule of our name that lets the port in already keeps its scope (an
// administrator may have narrowed its remote addresses or profiles) unless allowFrom names the
// remote addresses; one that is disabled is enabled, and one not bound to Remote Desktop (made
// before rules were) is bound in place. Any other is added or made to match, with allowFrom
// (or any address) as its remote addresses. If a rule cannot be put, every rule this run
// put is put back as it was before the error travels on. On success, touched holds the
// indexes (0 TCP, 1 UDP) of the rules put, in order.
FirewallOutcome openPortInFirewall(Firewall& firewall, long port, const CapturedRules& before,
                                   std::vector<std::size_t>* touched = nullptr,
                                   const std::optional<std::wstring>& allowFrom = std::nullopt);

} // namespace velkora

#pragma once

#include <array>
#include <optional>
#include <string>

#include "platform/firewall.h"

namespace velkora {

// The inbound allow rules that open port N for the Remote Desktop listener, TCP and UDP.
std::array<FirewallRule, 2> buildFirewallRules(long port);

// What became of one rule: put (new, or made to match), already there as it should be, or
// not touched because the modern firewall is not there.
enum class RuleOutcome { Added, Present, Skipped };

struct FirewallOutcome {
    bool available = false;
    RuleOutcome tcp = RuleOutcome::Skipped;
    RuleOutcome udp = RuleOutcome::Skipped;

    bool operator==(const FirewallOutcome& o) const {
        return available == o.available && tcp == o.tcp && udp == o.udp;
    }
};

// The two rules of the port as the firewall holds them before a change (TCP, UDP; absent
// where there is no rule of that name), read once; none where the modern firewall is not
// there.
using CapturedRules = std::optional<std::array<std::optional<FirewallRule>, 2>>;
CapturedRules captureRules(Firewall& firewall, long port);

// Puts a rule back as captured: its old fields, or no rule of that name.
void putBackRule(Firewall& firewall, const std::wstring& name,
                 const std::optional<FirewallRule>& before);

// Makes sure both rules exist and match, from what captureRules gave; skipped where the modern
// firewall is not there. If a rule cannot be put, every rule this run added or changed is put
// back as it was before the error travels on.
FirewallOutcome openPortInFirewall(Firewall& firewall, long port, const CapturedRules& before);

// Whether both rules for the port exist exactly as openPortInFirewall makes them; absent
// where the modern firewall is not there.
std::optional<std::array<bool, 2>> firewallRulesPresent(Firewall& firewall, long port);

} // namespace velkora

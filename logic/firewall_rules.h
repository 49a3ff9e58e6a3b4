#pragma once

#include <array>
#include <string>

#include "platform/firewall.h"

namespace velkora {

// The inbound allow rules that open port N for the Remote Desktop listener, TCP and UDP.
std::array<FirewallRule, 2> buildFirewallRules(long port);

// Makes sure both rules exist and match; skipped where the modern firewall is not there.
// If a rule cannot be put, every rule this run added or changed is put back as it was
// before the error travels on.
void openPortInFirewall(Firewall& firewall, long port);

} // namespace velkora

#pragma once

#include <vector>

#include "platform/firewall.h"
#include "platform/platform.h"

namespace velkora {

// Windows' own Remote Desktop rules carry this group (its indirect name).
extern const std::wstring remoteDesktopRuleGroup; // "@FirewallAPI.dll,-28752"

// What closing the old port takes away, each as it was: the tool's two rules of that port
// (removed), the enabled inbound rules of Windows' Remote Desktop group whose local port is
// exactly that port (disabled), and the two legacy open-port entries (removed).
struct OldPortClosing {
    long port = 0;
    // The text the entries are named with ("03389" names "03389:TCP "); empty: the number's.
    std::wstring portText;
    std::vector<FirewallRule> removedRules;
    std::vector<FirewallRule> disabledRules;
    // Standard, then domain profile; one without a value is not there to remove.
    std::vector<RegistryValueState> openPortEntries;

    bool operator==(const OldPortClosing&) const = default;
};

// Reads what closing the port would take away; changes nothing. A rule that is disabled
// already is left out, so that it stays disabled whatever comes after.
OldPortClosing planOldPortClosing(SystemServices& system, long port);

// Removes and disables as planned. If a step fails, every step already done is put back
// before the error travels on.
void closeOldPort(SystemServices& system, const OldPortClosing& closing);

// Puts back everything the closing may have taken away: the removed rules and entries as they
// were, the disabled rules enabled again. Tries every one, then raises the first failure.
void reopenOldPort(SystemServices& system, const OldPortClosing& closing);

} // namespace velkora

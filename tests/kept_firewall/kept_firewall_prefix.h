#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/non_copyable.h"
#include "tests/kept_firewall/kept_firewall_store.h"

namespace velkora::test {

// The test firewall in place of the system's for as long as this lives: the firewall's COM
// classes load velkora_kept_firewall.dll from this program's folder, a stand-in firewall
// service (MpsSvc) runs, and the store starts empty. All is put back when it goes.
class KeptFirewall : NonCopyable {
public:
    KeptFirewall();
    ~KeptFirewall();

    // Every stored rule, in the order they were added.
    static std::vector<kept_firewall::RuleFields> rules();
    // Replaces the stored rules with these, in this order.
    static void setRules(const std::vector<kept_firewall::RuleFields>& rules);
    // The next `calls` calls of the firewall's interfaces succeed, the one after is refused.
    static void denyAfterCalls(DWORD calls);
    // Whether a refusal set with denyAfterCalls has not happened yet.
    static bool denialPending();

private:
    std::vector<std::pair<std::wstring, std::wstring>> previousServers_;
};

// The test firewall for the whole of a test program; for AddGlobalTestEnvironment.
::testing::Environment* newKeptFirewallEnvironment();

} // namespace velkora::test

#include <gtest/gtest.h>

#include <windows.h>
#include <initguid.h>
#include <netfw.h>

#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "logic/firewall_rules.h"
#include "platform/win32/firewall/firewall.h"
#include "platform/win32/runtime/com_ids.h"
#include "tests/common/test_helpers.h"
#include "tests/win/kept_firewall_rule.h"
#include "tests/win/test_support.h"

namespace velkora::test {
namespace {

// Putting back a rule of our name that allowed any protocol, after the change made it TCP on
// the new port: the ports go before the protocol changes, and a property that is refused does
// not keep the others from being put back.
TEST(WriteRuleFields, PutsBackAnAnyProtocolRuleInTheDocumentedOrder) {
    constexpr long anyProtocol = 256; // NET_FW_IP_PROTOCOL_ANY
    FirewallRule before;
    before.name = L"远程桌面端口 3390 (TCP)";
    before.description = L"管理员的规则";
    before.grouping = L"";
    before.protocol = anyProtocol;
    before.localPorts = L"";
    before.profiles = NET_FW_PROFILE2_DOMAIN;
    before.remoteAddresses = L"10.0.0.0/255.0.0.0";
    before.enabled = false;
    for (const bool descriptionRefused : {false, true}) {
        KeptFirewallRule rule;
        rule.name = before.name;
        rule.localPorts = L"3390";
        if (descriptionRefused) {
            rule.refused.insert(L"Description");
        }

        HRESULT hr = S_OK;
        try {
            win32::writeRuleFields(rule, before);
        } catch (const PlatformError& error) {
            hr = static_cast<HRESULT>(error.number());
        }

        EXPECT_EQ(hr, descriptionRefused ? E_ACCESSDENIED : S_OK);
        EXPECT_EQ(rule.protocol, anyProtocol);
        EXPECT_EQ(rule.localPorts, L"");
        EXPECT_EQ(rule.profiles, NET_FW_PROFILE2_DOMAIN);
        EXPECT_EQ(rule.remoteAddresses, before.remoteAddresses);
        EXPECT_EQ(rule.enabled, VARIANT_FALSE);
        EXPECT_EQ(rule.description, descriptionRefused ? L"" : before.description);
    }
}

TEST(FirewallIds, MatchTheSystemHeaders) {
    EXPECT_TRUE(IsEqualGUID(win32::clsidNetFwPolicy2, CLSID_NetFwPolicy2));
    EXPECT_TRUE(IsEqualGUID(win32::clsidNetFwRule, CLSID_NetFwRule));
    EXPECT_TRUE(IsEqualGUID(win32::iidINetFwPolicy2, IID_INetFwPolicy2));
    EXPECT_TRUE(IsEqualGUID(win32::iidINetFwRule, IID_INetFwRule));
}

// Runs f on a thread of its own, so that its COM state starts fresh.
void onFreshThread(const std::function<void()>& f) {
    std::thread(f).join();
}

FirewallRule testRule() {
    FirewallRule rule;
    rule.name = L"Velkora 测试规则 40001 (TCP)";
    rule.description = L"测试";
    rule.grouping = L"Velkora工具";
    rule.localPorts = L"40001-40003,40010"; // a range and a list come back as they went
    return rule;
}

long errorNumberOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const PlatformError& error) {
        EXPECT_FALSE(error.description().empty());
        return error.number();
    }
    return 0;
}

// Wine has the firewall API only as stubs and no firewall service (MpsSvc): the
// availability check says so, and behind it reading or adding a rule is not implemented.
void expectWhatWineDoes(win32::NetFwFirewall& firewall, const FirewallRule& rule) {
    EXPECT_FALSE(win32::firewallServiceActive());
    EXPECT_FALSE(firewall.available());
    EXPECT_EQ(errorNumberOf([&] { firewall.find(rule.name); }), E_NOTIMPL);
    EXPECT_EQ(errorNumberOf([&] { firewall.put(rule); }), E_NOTIMPL);
    EXPECT_EQ(errorNumberOf([&] { firewall.remove(rule.name); }), 0);
}

// A running Windows Firewall: the rule is added, read back field for field, and removed.
void expectTheRealRoundTrip(win32::NetFwFirewall& firewall, const FirewallRule& rule) {
    ASSERT_TRUE(firewall.available());
    firewall.remove(rule.name);
    EXPECT_EQ(firewall.find(rule.name), std::nullopt);
    firewall.put(rule);
    EXPECT_EQ(firewall.find(rule.name), std::optional<FirewallRule>(rule));
    firewall.remove(rule.name);
    EXPECT_EQ(firewall.find(rule.name), std::nullopt);
    firewall.remove(rule.name); // a rule already gone is no error
}

void exerciseEveryOperation() {
    win32::NetFwFirewall firewall;
    if (test::runningUnderWine()) {
        expectWhatWineDoes(firewall, testRule());
    } else {
        expectTheRealRoundTrip(firewall, testRule());
    }
}

// The real firewall, with the names of the calls made on it.
class CallNames final : public Firewall {
public:
    bool available() override {
        calls.push_back(L"available");
        return real_.available();
    }
    std::optional<FirewallRule> find(const std::wstring& name) override {
        calls.push_back(L"find " + name);
        return real_.find(name);
    }
    void put(const FirewallRule& rule) override {
        calls.push_back(L"put " + rule.name);
        real_.put(rule);
    }
    void remove(const std::wstring& name) override {
        calls.push_back(L"remove " + name);
        real_.remove(name);
    }
    std::vector<std::wstring> calls;

private:
    win32::NetFwFirewall real_;
};

TEST(OpenPortInFirewall, IsSkippedUnderWineAndOpensThePortOnARunningFirewall) {
    onFreshThread([] {
        CallNames firewall;
        openPortInFirewall(firewall, 40001, captureRules(firewall, 40001));
        const auto rules = buildFirewallRules(40001);
        if (test::runningUnderWine()) {
            EXPECT_EQ(firewall.calls, std::vector<std::wstring>{L"available"});
            return;
        }
        for (const FirewallRule& rule : rules) {
            EXPECT_EQ(firewall.find(rule.name), std::optional<FirewallRule>(rule));
            firewall.remove(rule.name);
        }
    });
}

// How a thread stands in COM before the firewall's operations run on it, and what one more
// CoInitializeEx gives after them: each operation's own COM start-up must be balanced and
// must leave the thread's apartment as it found it.
struct ApartmentCase {
    const char* label;
    std::optional<DWORD> threadInitialisation; // the thread's own CoInitializeEx, if any
    DWORD probe;
    HRESULT probeResult;
};

void PrintTo(const ApartmentCase& c, std::ostream* out) {
    *out << c.label;
}

class FirewallOnAThread : public ::testing::TestWithParam<ApartmentCase> {};

TEST_P(FirewallOnAThread, LeavesTheThreadsComAsItFoundIt) {
    const ApartmentCase c = GetParam();
    onFreshThread([c] {
        if (c.threadInitialisation) {
            ASSERT_EQ(CoInitializeEx(nullptr, *c.threadInitialisation), S_OK);
        }
        exerciseEveryOperation();
        EXPECT_EQ(CoInitializeEx(nullptr, c.probe), c.probeResult);
        if (SUCCEEDED(c.probeResult)) {
            CoUninitialize();
        }
        if (c.threadInitialisation) {
            CoUninitialize();
        }
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "COM left behind";
        CoUninitialize();
    });
}

INSTANTIATE_TEST_SUITE_P(
    Apartments, FirewallOnAThread,
    ::testing::Values(
        // Had COM been left initialised, the probe would give S_FALSE or RPC_E_CHANGED_MODE.
        ApartmentCase{"FreshThread", std::nullopt, COINIT_MULTITHREADED, S_OK},
        // Still in the multithreaded apartment: not uninitialised behind the thread's back.
        ApartmentCase{"Multithreaded", COINIT_MULTITHREADED, COINIT_APARTMENTTHREADED,
                      RPC_E_CHANGED_MODE},
        // One initialisation is left, the thread's own: the probe adds a second.
        ApartmentCase{"ApartmentThreaded", COINIT_APARTMENTTHREADED, COINIT_APARTMENTTHREADED,
                      S_FALSE}),
    CaseLabel());

} // namespace
} // namespace velkora::test

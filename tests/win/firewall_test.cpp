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
#include "tests/kept_firewall/kept_firewall_prefix.h"
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
    rule.profiles = NET_FW_PROFILE2_DOMAIN | NET_FW_PROFILE2_PUBLIC;
    rule.remoteAddresses = L"10.0.0.0/255.0.0.0,LocalSubnet";
    rule.applicationName = L"%SystemRoot%\\system32\\svchost.exe";
    rule.serviceName = L"termservice";
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

// What only Wine's own firewall does: its API is a set of stubs and it has no firewall
// service (MpsSvc), so the availability check says no, and reading or adding a rule behind
// it is not implemented.
TEST(WineFirewallStub, IsNotAvailableAndStoresNothing) {
    if (!test::runningUnderWine()) {
        GTEST_SKIP() << "Wine only";
    }
    onFreshThread([] {
        win32::NetFwFirewall firewall;
        const FirewallRule rule = testRule();
        EXPECT_FALSE(win32::firewallServiceActive());
        EXPECT_FALSE(firewall.available());
        EXPECT_EQ(errorNumberOf([&] { firewall.find(rule.name); }), E_NOTIMPL);
        EXPECT_EQ(errorNumberOf([&] { firewall.put(rule); }), E_NOTIMPL);
        EXPECT_EQ(errorNumberOf([&] { firewall.remove(rule.name); }), 0);
    });
}

class KeptFirewallTest : public ::testing::Test {
protected:
    KeptFirewall kept_;
};

// The rule is added, read back field for field, changed in place and removed.
void roundTrip() {
    win32::NetFwFirewall firewall;
    FirewallRule rule = testRule();
    ASSERT_TRUE(firewall.available());
    EXPECT_EQ(firewall.find(rule.name), std::nullopt);
    firewall.put(rule);
    EXPECT_EQ(firewall.find(rule.name), std::optional<FirewallRule>(rule));
    rule.protocol = 256; // any protocol: the ports go first
    rule.localPorts = L"";
    rule.enabled = false;
    rule.applicationName.clear(); // unbound again
    rule.serviceName.clear();
    firewall.put(rule);
    EXPECT_EQ(firewall.find(rule.name), std::optional<FirewallRule>(rule));
    EXPECT_EQ(KeptFirewall::rules().size(), 1u);
    firewall.remove(rule.name);
    EXPECT_EQ(firewall.find(rule.name), std::nullopt);
    firewall.remove(rule.name); // a rule already gone is no error
}

TEST_F(KeptFirewallTest, KeepsEveryFieldOfARule) {
    onFreshThread(roundTrip);
}

// A refused call reaches the caller as a PlatformError with the HRESULT.
TEST_F(KeptFirewallTest, ARefusedCallIsAnAccessDeniedError) {
    onFreshThread([] {
        win32::NetFwFirewall firewall;
        KeptFirewall::denyAfterCalls(0);
        EXPECT_EQ(errorNumberOf([&] { firewall.find(testRule().name); }), E_ACCESSDENIED);
        EXPECT_FALSE(KeptFirewall::denialPending());
    });
}

TEST_F(KeptFirewallTest, OpeningThePortAddsItsTwoRulesAsBuilt) {
    onFreshThread([] {
        win32::NetFwFirewall firewall;
        const FirewallOutcome outcome =
            openPortInFirewall(firewall, 40001, captureRules(firewall, 40001));
        EXPECT_EQ(outcome, (FirewallOutcome{true, RuleOutcome::Added, RuleOutcome::Added}));
        const auto rules = buildFirewallRules(40001);
        ASSERT_EQ(KeptFirewall::rules().size(), 2u);
        for (const FirewallRule& rule : rules) {
            EXPECT_EQ(firewall.find(rule.name), std::optional<FirewallRule>(rule));
        }
    });
}

// The test firewall itself, through COM as the tool reaches it: what it must hold to so that
// a test against it means something on Windows.
class KeptFirewallCom : public KeptFirewallTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_EQ(CoCreateInstance(CLSID_NetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_INetFwPolicy2, policy_.putVoid()),
                  S_OK);
        ASSERT_EQ(policy_->get_Rules(rules_.put()), S_OK);
    }
    void TearDown() override {
        rules_.reset();
        policy_.reset();
        CoUninitialize();
    }

    win32::ComPtr<INetFwRule> newRule(const wchar_t* name, LONG protocol) {
        win32::ComPtr<INetFwRule> rule;
        EXPECT_EQ(CoCreateInstance(CLSID_NetFwRule, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwRule,
                                   rule.putVoid()),
                  S_OK);
        EXPECT_EQ(rule->put_Name(win32::UniqueBstr(SysAllocString(name)).get()), S_OK);
        EXPECT_EQ(rule->put_Protocol(protocol), S_OK);
        return rule;
    }

    win32::ComPtr<INetFwPolicy2> policy_;
    win32::ComPtr<INetFwRules> rules_;
};

struct PortTextCase {
    const char* label;
    LONG protocol;
    const wchar_t* ports;
    HRESULT result;
};

void PrintTo(const PortTextCase& c, std::ostream* out) {
    *out << c.label;
}

class KeptFirewallPorts : public KeptFirewallCom,
                          public ::testing::WithParamInterface<PortTextCase> {};

TEST_P(KeptFirewallPorts, TakesWhatTheFirewallTakes) {
    const PortTextCase c = GetParam();
    const auto rule = newRule(L"ports", c.protocol);
    EXPECT_EQ(rule->put_LocalPorts(win32::UniqueBstr(SysAllocString(c.ports)).get()), c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, KeptFirewallPorts,
    ::testing::Values(PortTextCase{"One", NET_FW_IP_PROTOCOL_TCP, L"3389", S_OK},
                      PortTextCase{"RangeAndList", NET_FW_IP_PROTOCOL_UDP, L"1-1024,3389", S_OK},
                      PortTextCase{"Any", NET_FW_IP_PROTOCOL_TCP, L"*", S_OK},
                      PortTextCase{"Keyword", NET_FW_IP_PROTOCOL_TCP, L"RPC", S_OK},
                      PortTextCase{"AnyProtocol", 256, L"3389", E_INVALIDARG},
                      PortTextCase{"Icmp", 1, L"3389", E_INVALIDARG},
                      PortTextCase{"Zero", NET_FW_IP_PROTOCOL_TCP, L"0", E_INVALIDARG},
                      PortTextCase{"TooHigh", NET_FW_IP_PROTOCOL_TCP, L"65536", E_INVALIDARG},
                      PortTextCase{"Backwards", NET_FW_IP_PROTOCOL_TCP, L"90-80", E_INVALIDARG},
                      PortTextCase{"Space", NET_FW_IP_PROTOCOL_TCP, L"80, 90", E_INVALIDARG},
                      PortTextCase{"EmptyItem", NET_FW_IP_PROTOCOL_TCP, L"80,,90", E_INVALIDARG},
                      PortTextCase{"Letters", NET_FW_IP_PROTOCOL_TCP, L"http", E_INVALIDARG}),
    CaseLabel());

std::wstring descriptionOf(INetFwRule& rule) {
    BSTR text = nullptr;
    EXPECT_EQ(rule.get_Description(&text), S_OK);
    const win32::UniqueBstr owner(text);
    return text ? text : L"";
}

std::vector<std::wstring> enumeratedDescriptions(INetFwRules& rules) {
    std::vector<std::wstring> descriptions;
    win32::ComPtr<IUnknown> unknown;
    win32::ComPtr<IEnumVARIANT> items;
    EXPECT_EQ(rules.get__NewEnum(unknown.put()), S_OK);
    EXPECT_EQ(unknown->QueryInterface(IID_IEnumVARIANT, items.putVoid()), S_OK);
    VARIANT item;
    VariantInit(&item);
    while (items->Next(1, &item, nullptr) == S_OK) {
        win32::ComPtr<INetFwRule> rule;
        EXPECT_EQ(item.pdispVal->QueryInterface(IID_INetFwRule, rule.putVoid()), S_OK);
        descriptions.push_back(descriptionOf(*rule.get()));
        VariantClear(&item);
    }
    return descriptions;
}

// Names are not unique: Add of a name that is there adds a second rule; Item and Remove take
// the first; a missing name is ERROR_FILE_NOT_FOUND for Item.
TEST_F(KeptFirewallCom, KeepsRulesOfOneNameApartAndFindsTheFirst) {
    const win32::UniqueBstr name(SysAllocString(L"twice"));
    for (const wchar_t* description : {L"first", L"second"}) {
        const auto rule = newRule(L"twice", NET_FW_IP_PROTOCOL_TCP);
        EXPECT_EQ(rule->put_Description(win32::UniqueBstr(SysAllocString(description)).get()),
                  S_OK);
        EXPECT_EQ(rules_->Add(rule.get()), S_OK);
    }
    LONG count = 0;
    EXPECT_EQ(rules_->get_Count(&count), S_OK);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(enumeratedDescriptions(*rules_.get()),
              (std::vector<std::wstring>{L"first", L"second"}));
    win32::ComPtr<INetFwRule> found;
    ASSERT_EQ(rules_->Item(name.get(), found.put()), S_OK);
    EXPECT_EQ(descriptionOf(*found.get()), L"first");
    EXPECT_EQ(rules_->Remove(name.get()), S_OK);
    ASSERT_EQ(rules_->Item(name.get(), found.put()), S_OK);
    EXPECT_EQ(descriptionOf(*found.get()), L"second");
    EXPECT_EQ(rules_->Remove(name.get()), S_OK);
    EXPECT_EQ(rules_->Item(name.get(), found.put()), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
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

class FirewallOnAThread : public ::testing::TestWithParam<ApartmentCase> {
protected:
    KeptFirewall kept_;
};

TEST_P(FirewallOnAThread, LeavesTheThreadsComAsItFoundIt) {
    const ApartmentCase c = GetParam();
    onFreshThread([c] {
        if (c.threadInitialisation) {
            ASSERT_EQ(CoInitializeEx(nullptr, *c.threadInitialisation), S_OK);
        }
        roundTrip();
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

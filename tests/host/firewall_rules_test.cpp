#include <gtest/gtest.h>

#include <string>

#include "logic/firewall_rules.h"
#include "platform/platform_error.h"
#include "tests/host/fakes.h"
#include "tests/common/test_helpers.h"

namespace velkora::test {
namespace {

const PlatformError accessDenied(-2147024891, L"拒绝访问。");

class BuildFirewallRules : public ::testing::TestWithParam<long> {};

TEST_P(BuildFirewallRules, GivesInboundAllowRulesForTcpAndUdpOnThePort) {
    const long port = GetParam();
    const auto rules = buildFirewallRules(port);
    const std::wstring n = std::to_wstring(port);

    EXPECT_EQ(rules[0].name, L"远程桌面端口 " + n + L" (TCP)");
    EXPECT_EQ(rules[1].name, L"远程桌面端口 " + n + L" (UDP)");
    EXPECT_EQ(rules[0].protocol, 6);
    EXPECT_EQ(rules[1].protocol, 17);
    for (const FirewallRule& rule : rules) {
        EXPECT_EQ(rule.localPorts, n);
        EXPECT_EQ(rule.direction, 1) << "inbound";
        EXPECT_EQ(rule.action, 1) << "allow";
        EXPECT_EQ(rule.profiles, 0x7FFFFFFF) << "all profiles";
        EXPECT_EQ(rule.remoteAddresses, L"*");
        EXPECT_TRUE(rule.enabled);
        EXPECT_EQ(rule.grouping, L"Velkora工具");
        EXPECT_EQ(rule.description, L"由 Velkora工具 为远程桌面监听端口添加");
        EXPECT_EQ(rule.applicationName, L"%SystemRoot%\\system32\\svchost.exe");
        EXPECT_EQ(rule.serviceName, L"termservice");
    }
}

INSTANTIATE_TEST_SUITE_P(Ports, BuildFirewallRules, ::testing::Values(1L, 80L, 888L, 65535L));

TEST(OpenPortInFirewall, AddsBothRules) {
    FakeFirewall firewall;
    openPortInFirewall(firewall, 888, captureRules(firewall, 888));

    const auto expected = buildFirewallRules(888);
    ASSERT_EQ(firewall.rules.size(), 2u);
    EXPECT_EQ(firewall.rules.at(expected[0].name), expected[0]);
    EXPECT_EQ(firewall.rules.at(expected[1].name), expected[1]);
}

TEST(OpenPortInFirewall, ASecondRunPutsNothing) {
    FakeFirewall firewall;
    openPortInFirewall(firewall, 888, captureRules(firewall, 888));
    const auto afterFirst = firewall.rules;
    const int putsAfterFirst = firewall.puts();

    openPortInFirewall(firewall, 888, captureRules(firewall, 888));

    EXPECT_EQ(firewall.puts(), putsAfterFirst);
    EXPECT_EQ(firewall.rules, afterFirst);
}

TEST(OpenPortInFirewall, MakesARuleOfThatNameForAnotherPortMatchAgain) {
    FakeFirewall firewall;
    FirewallRule tampered = buildFirewallRules(888)[0];
    tampered.enabled = false;
    tampered.localPorts = L"3389";
    firewall.rules[tampered.name] = tampered;

    const FirewallOutcome outcome = openPortInFirewall(firewall, 888, captureRules(firewall, 888));

    EXPECT_EQ(firewall.rules.at(tampered.name), buildFirewallRules(888)[0]);
    EXPECT_EQ(firewall.rules.size(), 2u);
    EXPECT_EQ(outcome.tcp, RuleOutcome::Added);
}

// An administrator narrowed our rule to the addresses that should connect: it lets the port in
// already, so its scope stays; disabled, it is only enabled again. Both count as present.
TEST(OpenPortInFirewall, NeverWidensARuleAnAdministratorNarrowed) {
    for (const bool enabled : {true, false}) {
        FakeFirewall firewall;
        FirewallRule narrowed = buildFirewallRules(888)[0];
        narrowed.remoteAddresses = L"10.0.0.0/255.0.0.0";
        narrowed.profiles = 1;
        narrowed.description = L"只允许内网";
        narrowed.localPorts = L"888,3389";
        narrowed.enabled = enabled;
        firewall.rules[narrowed.name] = narrowed;

        const FirewallOutcome outcome =
            openPortInFirewall(firewall, 888, captureRules(firewall, 888));

        FirewallRule expected = narrowed;
        expected.enabled = true;
        EXPECT_EQ(firewall.rules.at(narrowed.name), expected);
        EXPECT_EQ(outcome.tcp, enabled ? RuleOutcome::Present : RuleOutcome::Updated);
        EXPECT_EQ(firewall.puts(), enabled ? 1 : 2) << "the UDP rule, and the enabling";
    }
}

// Our rule as made before rules were bound to Remote Desktop: bound in place, its scope kept,
// enabled; no second rule of the name.
TEST(OpenPortInFirewall, BindsAnUnboundRuleOfOursInPlace) {
    for (const bool enabled : {true, false}) {
        FakeFirewall firewall;
        FirewallRule unbound = buildFirewallRules(888)[0];
        unbound.applicationName.clear();
        unbound.serviceName.clear();
        unbound.remoteAddresses = L"LocalSubnet";
        unbound.enabled = enabled;
        firewall.rules[unbound.name] = unbound;

        const FirewallOutcome outcome =
            openPortInFirewall(firewall, 888, captureRules(firewall, 888));

        FirewallRule expected = buildFirewallRules(888)[0];
        expected.remoteAddresses = L"LocalSubnet";
        EXPECT_EQ(firewall.rules.at(unbound.name), expected);
        EXPECT_EQ(firewall.rules.size(), 2u);
        EXPECT_EQ(outcome.tcp, RuleOutcome::Updated);
    }
}

// Remote addresses asked for: the new rule takes them, and so does our rule that was there
// (whatever scope it had); a rule that has them already is present.
TEST(OpenPortInFirewall, GivesBothRulesTheRemoteAddressesAskedFor) {
    FakeFirewall firewall;
    FirewallRule narrowed = buildFirewallRules(888)[0];
    narrowed.remoteAddresses = L"10.0.0.0/255.0.0.0";
    firewall.rules[narrowed.name] = narrowed;
    const std::wstring allowFrom = L"LocalSubnet,203.0.113.0/24";

    FirewallOutcome outcome =
        openPortInFirewall(firewall, 888, captureRules(firewall, 888), nullptr, allowFrom);

    const auto expected = buildFirewallRules(888, allowFrom);
    EXPECT_EQ(firewall.rules.at(expected[0].name), expected[0]);
    EXPECT_EQ(firewall.rules.at(expected[1].name), expected[1]);
    EXPECT_EQ(outcome, (FirewallOutcome{true, RuleOutcome::Updated, RuleOutcome::Added}));
    outcome = openPortInFirewall(firewall, 888, captureRules(firewall, 888), nullptr, allowFrom);
    EXPECT_EQ(outcome, (FirewallOutcome{true, RuleOutcome::Present, RuleOutcome::Present}));
}

TEST(OpenPortInFirewall, LeavesRulesOfEarlierPortsAndOthersAlone) {
    FakeFirewall firewall;
    openPortInFirewall(firewall, 3390, captureRules(firewall, 3390));
    FirewallRule other;
    other.name = L"Remote Desktop - User Mode (TCP-In)";
    other.localPorts = L"3389";
    firewall.rules[other.name] = other;

    openPortInFirewall(firewall, 888, captureRules(firewall, 888));

    EXPECT_EQ(firewall.rules.size(), 5u);
    EXPECT_EQ(firewall.rules.at(other.name), other);
    EXPECT_EQ(firewall.rules.count(L"远程桌面端口 3390 (UDP)"), 1u);
}

TEST(OpenPortInFirewall, IsSkippedWhereTheFirewallIsNotAvailable) {
    FakeFirewall firewall;
    firewall.isAvailable = false;
    openPortInFirewall(firewall, 888, captureRules(firewall, 888));
    EXPECT_TRUE(firewall.calls().empty());
    EXPECT_TRUE(firewall.rules.empty());
}

struct PutFailureCase {
    const char* label;
    int failingPut;
    bool preexistingTcpRule; // a changed TCP rule of the same name existed before
    bool halfMade;           // the failing put changed the rule before failing
};

class FailedPut : public ::testing::TestWithParam<PutFailureCase> {};

TEST_P(FailedPut, PutsBackWhatThisRunChangedAndRaisesTheOriginalError) {
    const PutFailureCase c = GetParam();
    FakeFirewall firewall;
    FirewallRule unrelated;
    unrelated.name = L"其他规则";
    firewall.rules[unrelated.name] = unrelated;
    if (c.preexistingTcpRule) {
        FirewallRule old = buildFirewallRules(888)[0];
        old.localPorts = L"3389";
        firewall.rules[old.name] = old;
    }
    const auto before = firewall.rules;
    firewall.failPut(c.failingPut, accessDenied, c.halfMade);

    const PlatformError error =
        thrownBy([&] { openPortInFirewall(firewall, 888, captureRules(firewall, 888)); });
    EXPECT_EQ(error.number(), accessDenied.number());
    EXPECT_EQ(error.description(), accessDenied.description());
    EXPECT_EQ(firewall.rules, before);
}

INSTANTIATE_TEST_SUITE_P(Cases, FailedPut,
                         ::testing::Values(PutFailureCase{"FirstRule", 1, false, false},
                                           PutFailureCase{"SecondRule", 2, false, false},
                                           PutFailureCase{"FirstRuleHalfMade", 1, false, true},
                                           PutFailureCase{"SecondRuleHalfMade", 2, false, true},
                                           PutFailureCase{"SecondRuleAfterChangingAnOldOne", 2,
                                                          true, false},
                                           PutFailureCase{"OldRuleHalfChanged", 1, true, true}),
                         CaseLabel());

TEST(FailedPut, PutsBackARangeAndListOfPortsExactly) {
    FakeFirewall firewall;
    FirewallRule old = buildFirewallRules(888)[0];
    old.localPorts = L"889-890,3389";
    firewall.rules[old.name] = old;
    const auto before = firewall.rules;
    firewall.failPut(2, accessDenied);

    EXPECT_THROW(openPortInFirewall(firewall, 888, captureRules(firewall, 888)), PlatformError);

    EXPECT_EQ(firewall.rules.at(old.name).localPorts, L"889-890,3389");
    EXPECT_EQ(firewall.rules, before);
}

TEST(FailedPutWithFailedPutBack, ReportsBothErrorsUnderTheOriginalNumber) {
    FakeFirewall firewall;
    firewall.failPut(2, accessDenied);
    firewall.failPutBacks(PlatformError(-2147023143, L"RPC 服务器不可用。"));

    const PlatformError error =
        thrownBy([&] { openPortInFirewall(firewall, 888, captureRules(firewall, 888)); });
    EXPECT_EQ(error.number(), accessDenied.number());
    EXPECT_EQ(error.description(),
              L"拒绝访问。\r\n恢复原值失败（错误 0x800706D9）：RPC 服务器不可用。");
}

} // namespace
} // namespace velkora::test

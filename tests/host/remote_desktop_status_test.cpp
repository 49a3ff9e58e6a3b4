#include <gtest/gtest.h>

#include <string>

#include "logic/firewall_rules.h"
#include "logic/remote_desktop_status.h"
#include "platform/error_record.h"
#include "tests/host/fakes.h"
#include "tests/host/registry_paths.h"

namespace velkora::test {
namespace {

const std::wstring denySetting =
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\fDenyTSConnections";
const std::wstring denyPolicy = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Microsoft\\Windows NT\\"
                                L"Terminal Services\\fDenyTSConnections";

// A running server at 3390 with both rules and TermService in 1234; the first listener value
// and whether connections are allowed are left to each test.
void arrangeServer(FakePlatform& fake) {
    fake.registry.setValue(rdpTcpPort, dwordValue(3390));
    for (const FirewallRule& rule : buildFirewallRules(3390)) {
        fake.firewall.rules[rule.name] = rule;
    }
    fake.services.services[L"TermService"] = {true, 1234, true};
    fake.services.listeners[1234] = {3390};
}

struct AllowedCase {
    const char* name;
    std::optional<StoredRegistryValue> setting, policy;
    std::optional<bool> allowed;
    bool byPolicy;
};

class Allowed : public ::testing::TestWithParam<AllowedCase> {};

TEST_P(Allowed, ThePolicyValueOverridesTheSetting) {
    FakePlatform fake;
    arrangeServer(fake);
    fake.registry.setValue(tdsPort, dwordValue(3390));
    const AllowedCase& c = GetParam();
    if (c.setting) {
        fake.registry.setValue(denySetting, *c.setting);
    }
    if (c.policy) {
        fake.registry.setValue(denyPolicy, *c.policy);
    }

    const RemoteDesktopStatus status = readRemoteDesktopStatus(fake.platform);

    EXPECT_EQ(status.allowed, c.allowed);
    EXPECT_EQ(status.allowedByPolicy, c.byPolicy);
}

INSTANTIATE_TEST_SUITE_P(
    Values, Allowed,
    ::testing::Values(
        AllowedCase{"SettingAllows", dwordValue(0), std::nullopt, true, false},
        AllowedCase{"SettingDenies", dwordValue(1), std::nullopt, false, false},
        AllowedCase{"PolicyDeniesOverSetting", dwordValue(0), dwordValue(1), false, true},
        AllowedCase{"PolicyAllowsOverSetting", dwordValue(1), dwordValue(0), true, true},
        AllowedCase{"SettingOfWrongType", stringValue(L"0"), std::nullopt, std::nullopt, false},
        AllowedCase{"PolicyOfWrongType", dwordValue(0), stringValue(L"1"), std::nullopt, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RemoteDesktopStatus, WhatCannotBeReadIsUnknown) {
    FakePlatform fake;
    fake.registry.setValue(tdsPort, dwordValue(3389));
    fake.firewall.isAvailable = false;
    fake.services.queryError = PlatformError(5, L"拒绝访问。");

    const RemoteDesktopStatus status = readRemoteDesktopStatus(fake.platform);

    EXPECT_EQ(status.port, 3389);
    EXPECT_EQ(status.rdpTcpPort, std::nullopt);
    EXPECT_FALSE(status.firewallAvailable);
    EXPECT_EQ(status.tcpRule, std::nullopt);
    EXPECT_EQ(status.udpRule, std::nullopt);
    EXPECT_EQ(status.allowed, std::nullopt);
    EXPECT_EQ(status.service, std::nullopt);
    EXPECT_EQ(status.serviceTcpPorts, std::nullopt);
}

// What is taken for unknown is not lost: the command line keeps the error in its result log,
// once however often it comes.
TEST(RemoteDesktopStatus, AnErrorTakenForUnknownIsKeptOnceInTheResultLog) {
    FakePlatform fake;
    fake.registry.setValue(tdsPort, dwordValue(3389));
    fake.services.queryError = PlatformError(5, L"拒绝访问。", false, L"OpenServiceW TermService");
    ResultLogErrorRecord record(fake.resultLog);
    const ErrorRecordInUse recording(record);

    readRemoteDesktopStatus(fake.platform);
    readRemoteDesktopStatus(fake.platform);

    EXPECT_EQ(
        fake.resultLog.lines,
        std::vector<std::wstring>{L"passed over: error 5: 拒绝访问。 (OpenServiceW TermService)"});
}

TEST(RemoteDesktopStatus, AStoppedServiceListensOnNothingAndUnreadableListenersAreUnknown) {
    FakePlatform fake;
    arrangeServer(fake);
    fake.registry.setValue(tdsPort, dwordValue(3390));
    fake.services.services[L"TermService"] = {false, 0, true};
    EXPECT_EQ(readRemoteDesktopStatus(fake.platform).serviceTcpPorts, std::vector<long>{});

    fake.services.services[L"TermService"] = {true, 1234, true};
    fake.services.listenersError = PlatformError(50, L"不支持该请求。");
    EXPECT_EQ(readRemoteDesktopStatus(fake.platform).serviceTcpPorts, std::nullopt);
}

} // namespace
} // namespace velkora::test

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "logic/modify_command.h"
#include "logic/port_change.h"
#include "tests/host/fakes.h"
#include "tests/host/registry_arrangements.h"
#include "tests/host/registry_paths.h"
#include "tests/common/test_helpers.h"

namespace velkora::test {
namespace {

const PlatformError anotherChange(1618, L"另一个端口修改正在进行，请稍后再试。");

PortChangeOutcome change(FakePlatform& fake, const std::wstring& portText, WhenInPlace mode) {
    return applyPortChange(fake.platform, portText, mode);
}

// The state a first change to 888 leaves: all four values and both rules.
void changedTo888(FakePlatform& fake) {
    arrange(fake.registry, Arrangement::Server);
    change(fake, L"888", WhenInPlace::Rewrite);
}

TEST(ApplyPortChange, WritesUnderTheLockAndReportsTheRulesAdded) {
    FakePlatform fake;
    arrange(fake.registry, Arrangement::Server);

    const PortChangeOutcome outcome = change(fake, L"888", WhenInPlace::LeaveAlone);

    EXPECT_TRUE(outcome.changed);
    EXPECT_EQ(outcome.firewall, (FirewallOutcome{true, RuleOutcome::Added, RuleOutcome::Added}));
    EXPECT_EQ(fake.registry.writes().size(), 4u);
    EXPECT_EQ(fake.registry.unlockedChanges, 0);
    EXPECT_EQ(fake.changeLock.acquired, 1);
    EXPECT_FALSE(fake.changeLock.held()) << "released at the end";
}

struct InPlaceCase {
    const char* name;
    void (*disturb)(FakePlatform&); // what differs from a change fully in place
    bool changed;
};

const InPlaceCase inPlaceCases[] = {
    {"AllInPlace", [](FakePlatform&) {}, false},
    {"FirewallNotThere", [](FakePlatform& f) { f.firewall.isAvailable = false; }, false},
    {"TdsDiffers", [](FakePlatform& f) { f.registry.setValue(tdsPort, dwordValue(3389)); }, true},
    {"RdpTcpAsText", [](FakePlatform& f) { f.registry.setValue(rdpTcpPort, stringValue(L"888")); },
     true},
    {"DomainEntryDisabled",
     [](FakePlatform& f) {
         f.registry.setValue(domainList + L"\\888:TCP ", stringValue(L"888:TCP:*:Disabled:888"));
     },
     true},
    {"UdpRuleGone",
     [](FakePlatform& f) { f.firewall.rules.erase(buildFirewallRules(888)[1].name); }, true},
};

class SecondChangeTo888 : public ::testing::TestWithParam<InPlaceCase> {};

TEST_P(SecondChangeTo888, LeftAloneOnlyWhenEverythingIsInPlace) {
    FakePlatform fake;
    changedTo888(fake);
    GetParam().disturb(fake);
    const std::size_t writesBefore = fake.registry.writes().size();
    const int putsBefore = fake.firewall.puts();

    const PortChangeOutcome outcome = change(fake, L"888", WhenInPlace::LeaveAlone);

    EXPECT_EQ(outcome.changed, GetParam().changed);
    EXPECT_EQ(fake.registry.writes().size() - writesBefore, GetParam().changed ? 4u : 0u);
    if (!GetParam().changed) {
        EXPECT_EQ(fake.firewall.puts(), putsBefore);
        const RuleOutcome rules =
            fake.firewall.isAvailable ? RuleOutcome::Present : RuleOutcome::Skipped;
        EXPECT_EQ(outcome.firewall, (FirewallOutcome{fake.firewall.isAvailable, rules, rules}));
    }
    EXPECT_EQ(fake.registry.value(tdsPort), dwordValue(888));
}

INSTANTIATE_TEST_SUITE_P(Cases, SecondChangeTo888, ::testing::ValuesIn(inPlaceCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ApplyPortChange, RewriteWritesAgainWhatIsInPlace) {
    FakePlatform fake;
    changedTo888(fake);

    const PortChangeOutcome outcome = change(fake, L"888", WhenInPlace::Rewrite);

    EXPECT_TRUE(outcome.changed);
    EXPECT_EQ(fake.registry.writes().size(), 8u);
    EXPECT_EQ(outcome.firewall,
              (FirewallOutcome{true, RuleOutcome::Present, RuleOutcome::Present}));
}

TEST(ApplyPortChange, TheRollbackOfAFailedRuleRunsUnderTheLockToo) {
    FakePlatform fake;
    arrange(fake.registry, Arrangement::Server);
    const auto before = fake.registry.contents();
    fake.firewall.failPut(2, PlatformError(-2147024891, L"拒绝访问。"));

    EXPECT_THROW(change(fake, L"888", WhenInPlace::LeaveAlone), PlatformError);
    EXPECT_EQ(fake.registry.contents(), before);
    EXPECT_EQ(fake.registry.unlockedChanges, 0);
    EXPECT_FALSE(fake.changeLock.held());
}

TEST(ModifyCommandWhileAnotherChangeHoldsTheLock, RaisesForTheErrorReportAndNeverConfirms) {
    FakePlatform fake;
    arrange(fake.registry, Arrangement::Server);
    fake.changeLock.failWith(anotherChange);
    FakeMainWindow window(L"888");

    EXPECT_EQ(thrownBy([&] { runModifyCommand(window, fake.platform); }).number(), 1618);
    EXPECT_TRUE(fake.registry.writes().empty());
    EXPECT_TRUE(fake.firewall.calls().empty());
    EXPECT_TRUE(fake.messages.boxes().empty());
}

} // namespace
} // namespace velkora::test

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "logic/firewall_rules.h"
#include "logic/modify_command.h"
#include "tests/host/fakes.h"
#include "tests/host/registry_arrangements.h"
#include "tests/host/registry_paths.h"
#include "tests/common/test_helpers.h"

namespace velkora::test {
namespace {

const PlatformError accessDenied(5, L"拒绝访问。");
const PlatformError firewallDenied(-2147024891, L"拒绝访问。");

const std::wstring expectedPrompt = L"端口修改成功\uFF0C请重启计算机生效\uFF01\r\n"
                                    L"点\u201C是\u201D则自动重启计算机\r\n"
                                    L"点\u201C否\u201D则您手动重启计算机";

TEST(ModifyCommandTexts, PromptAndRestartCommandAreExact) {
    EXPECT_EQ(confirmationPrompt, expectedPrompt);
    EXPECT_NE(confirmationPrompt.substr(confirmationPrompt.size() - 2), L"\r\n");
    EXPECT_EQ(restartCommand, L"cmd /d /cshutdown -r -t 0");
}

struct RejectedCase {
    const char* label;
    std::wstring text;
    std::wstring title;
};

class RejectedText : public ::testing::TestWithParam<RejectedCase> {};

TEST_P(RejectedText, ShowsOnlyItsBoxAndTouchesNothing) {
    FakePlatform fake;
    arrange(fake.registry, Arrangement::Server);
    const auto before = fake.registry.contents();
    FakeMainWindow window(GetParam().text);

    runModifyCommand(window, fake.platform);

    ASSERT_EQ(fake.messages.boxes().size(), 1u);
    EXPECT_EQ(fake.messages.boxes()[0].title, std::optional<std::wstring>(GetParam().title));
    EXPECT_EQ(fake.messages.boxes()[0].style, 48);
    EXPECT_TRUE(fake.registry.calls().empty());
    EXPECT_EQ(fake.registry.contents(), before);
    EXPECT_TRUE(fake.firewall.calls().empty());
    EXPECT_TRUE(fake.launcher.launches().empty());
    EXPECT_EQ(window.text, GetParam().text) << "the field keeps its text";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RejectedText,
    ::testing::Values(RejectedCase{"Empty", L"", L"端口不能为空"},
                      RejectedCase{"TooLarge", L"65536", L"端口数字过大"},
                      RejectedCase{"TwentyNines", std::wstring(20, L'9'), L"端口数字过大"},
                      RejectedCase{"PastedLetters", L"abc", L"端口格式错误"},
                      RejectedCase{"PastedWithSpace", L" 888", L"端口格式错误"},
                      RejectedCase{"Zero", L"0", L"端口数字过小"},
                      RejectedCase{"Zeros", L"00", L"端口数字过小"}),
    CaseLabel());

struct AcceptedCase {
    const char* label;
    std::wstring text;
    long number;
};

class AcceptedText : public ::testing::TestWithParam<std::tuple<AcceptedCase, int>> {};

TEST_P(AcceptedText, WritesOpensTheFirewallAndAsksAboutTheRestart) {
    const auto [c, reply] = GetParam();
    FakePlatform fake;
    arrange(fake.registry, Arrangement::Server);
    fake.messages.scriptReplies({reply});
    FakeMainWindow window(c.text);

    runModifyCommand(window, fake.platform);

    const std::wstring& p = c.text;
    ASSERT_EQ(fake.registry.writes().size(), 4u);
    const auto number = static_cast<std::uint32_t>(c.number);
    const std::pair<std::wstring, RegistryValue> expected[4] = {
        {tdsPort, number},
        {rdpTcpPort, number},
        {standardList + L"\\" + p + L":TCP ", p + L":TCP:*:Enabled:" + p},
        {domainList + L"\\" + p + L":TCP ", p + L":TCP:*:Enabled:" + p},
    };
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(fake.registry.writes()[i].path, expected[i].first) << "write " << i + 1;
        EXPECT_EQ(fake.registry.writes()[i].data, expected[i].second) << "write " << i + 1;
    }
    EXPECT_EQ(fake.registry.value(tdsPort), dwordValue(static_cast<std::uint32_t>(c.number)));
    EXPECT_EQ(fake.registry.value(rdpTcpPort), dwordValue(static_cast<std::uint32_t>(c.number)));

    const auto rules = buildFirewallRules(c.number);
    EXPECT_EQ(fake.firewall.rules.at(rules[0].name), rules[0]);
    EXPECT_EQ(fake.firewall.rules.at(rules[1].name), rules[1]);

    ASSERT_EQ(fake.messages.boxes().size(), 1u);
    EXPECT_EQ(fake.messages.boxes()[0].prompt, expectedPrompt);
    EXPECT_EQ(fake.messages.boxes()[0].style, 68);
    EXPECT_EQ(fake.messages.boxes()[0].title, std::nullopt);

    if (reply == 6) {
        ASSERT_EQ(fake.launcher.launches().size(), 1u);
        EXPECT_EQ(fake.launcher.launches()[0].commandLine, L"cmd /d /cshutdown -r -t 0");
        EXPECT_EQ(fake.launcher.launches()[0].windowStyle, 2);
    } else {
        EXPECT_TRUE(fake.launcher.launches().empty());
    }
    EXPECT_TRUE(fake.end.exitCodes.empty()) << "the window stays open";
}

INSTANTIATE_TEST_SUITE_P(TextsAndReplies, AcceptedText,
                         ::testing::Combine(::testing::Values(AcceptedCase{"888", L"888", 888},
                                                              AcceptedCase{"080", L"080", 80},
                                                              AcceptedCase{"00443", L"00443", 443},
                                                              AcceptedCase{"1", L"1", 1},
                                                              AcceptedCase{"65535", L"65535",
                                                                           65535}),
                                            ::testing::Values(6, 7, 1, 2)),
                         [](const ::testing::TestParamInfo<std::tuple<AcceptedCase, int>>& info) {
                             return std::string("Port") + std::get<0>(info.param).label + "_Reply" +
                                    std::to_string(std::get<1>(info.param));
                         });

TEST(ModifyCommandTwice, WritesTwiceAndAsksTwice) {
    FakePlatform fake;
    arrange(fake.registry, Arrangement::Server);
    fake.messages.defaultReply = 7;
    FakeMainWindow window(L"888");

    runModifyCommand(window, fake.platform);
    const auto afterFirst = fake.registry.contents();
    const auto rulesAfterFirst = fake.firewall.rules;
    runModifyCommand(window, fake.platform);

    EXPECT_EQ(fake.registry.writes().size(), 8u);
    EXPECT_EQ(fake.messages.boxes().size(), 2u);
    EXPECT_EQ(fake.registry.contents(), afterFirst);
    EXPECT_EQ(fake.firewall.rules, rulesAfterFirst);
}

class ModifyWithFailedWrite : public ::testing::TestWithParam<std::tuple<int, Arrangement>> {};

TEST_P(ModifyWithFailedWrite, LeavesEverythingAsBeforeAndNeverConfirms) {
    const auto [position, arrangement] = GetParam();
    FakePlatform fake;
    arrange(fake.registry, arrangement);
    const auto before = fake.registry.contents();
    fake.registry.failWrite(position, accessDenied);
    fake.messages.defaultReply = 6;
    FakeMainWindow window(L"888");

    const PlatformError error = thrownBy([&] { runModifyCommand(window, fake.platform); });
    EXPECT_EQ(error.number(), 5);
    EXPECT_EQ(error.description(), L"拒绝访问。");
    EXPECT_EQ(fake.registry.contents(), before);
    EXPECT_TRUE(fake.messages.boxes().empty());
    EXPECT_TRUE(fake.firewall.calls().empty());
    EXPECT_TRUE(fake.launcher.launches().empty());
}

INSTANTIATE_TEST_SUITE_P(EachPosition, ModifyWithFailedWrite, eachWritePositionOnEachArrangement(),
                         positionAndArrangementName);

class ModifyWithFailedFirewallRule : public ::testing::TestWithParam<int> {};

TEST_P(ModifyWithFailedFirewallRule, UndoesTheRegistryAndTheRulesAndNeverConfirms) {
    FakePlatform fake;
    arrange(fake.registry, Arrangement::Server);
    const auto registryBefore = fake.registry.contents();
    const auto rulesBefore = fake.firewall.rules;
    fake.firewall.failPut(GetParam(), firewallDenied);
    fake.messages.defaultReply = 6;
    FakeMainWindow window(L"888");

    const PlatformError error = thrownBy([&] { runModifyCommand(window, fake.platform); });
    EXPECT_EQ(error.number(), firewallDenied.number());
    EXPECT_EQ(error.description(), firewallDenied.description());
    EXPECT_EQ(fake.registry.contents(), registryBefore);
    EXPECT_EQ(fake.firewall.rules, rulesBefore);
    EXPECT_TRUE(fake.messages.boxes().empty());
    EXPECT_TRUE(fake.launcher.launches().empty());
}

INSTANTIATE_TEST_SUITE_P(EachRule, ModifyWithFailedFirewallRule, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 1 ? "Tcp" : "Udp";
                         });

TEST(ModifyWithFailedFirewallRuleAndFailedRestore, ReportsBothUnderTheFirewallError) {
    FakePlatform fake;
    arrange(fake.registry, Arrangement::Server);
    fake.firewall.failPut(2, firewallDenied);
    fake.registry.failRestores(accessDenied);
    FakeMainWindow window(L"888");

    const PlatformError error = thrownBy([&] { runModifyCommand(window, fake.platform); });
    EXPECT_EQ(error.number(), firewallDenied.number());
    EXPECT_EQ(error.description(), L"拒绝访问。\r\n恢复原值失败（错误 5）：拒绝访问。");
    EXPECT_TRUE(fake.messages.boxes().empty());
}

TEST(ModifyWithoutModernFirewall, WritesAndConfirmsWithoutRules) {
    FakePlatform fake;
    arrange(fake.registry, Arrangement::Bare);
    fake.firewall.isAvailable = false;
    FakeMainWindow window(L"888");

    runModifyCommand(window, fake.platform);

    EXPECT_EQ(fake.registry.value(standardList + L"\\888:TCP "),
              stringValue(L"888:TCP:*:Enabled:888"));
    EXPECT_TRUE(fake.firewall.rules.empty());
    EXPECT_EQ(fake.messages.boxes().size(), 1u);
}

TEST(ModifyWithFailedLaunch, RaisesTheLaunchErrorAndKeepsTheChange) {
    FakePlatform fake;
    arrange(fake.registry, Arrangement::Server);
    fake.messages.scriptReplies({6});
    fake.launcher.failWith(PlatformError(2, L"系统找不到指定的文件。"));
    FakeMainWindow window(L"888");

    const PlatformError error = thrownBy([&] { runModifyCommand(window, fake.platform); });
    EXPECT_EQ(error.number(), 2);
    EXPECT_EQ(fake.registry.value(tdsPort), dwordValue(888));
    EXPECT_EQ(fake.firewall.rules.size(), 2u);
}

} // namespace
} // namespace velkora::test

namespace velkora::test {
namespace {

// The window's change leaves its audit event: the program, the restart as answered.
TEST(ModifyAudit, RecordsTheChangeAsTheWindowsAndTheRestartAsAnswered) {
    for (const int reply : {MessageBoxReply::Yes, MessageBoxReply::No}) {
        FakePlatform fake;
        arrange(fake.registry, Arrangement::Server);
        fake.messages.defaultReply = reply;
        FakeMainWindow window(L"888");

        runModifyCommand(window, fake.platform);

        ASSERT_EQ(fake.audit.reported.size(), 1u);
        const AuditEntry& entry = fake.audit.reported[0];
        const bool yes = reply == MessageBoxReply::Yes;
        EXPECT_EQ(entry.eventId, 1000u);
        EXPECT_EQ(
            std::vector<std::wstring>(entry.strings.begin() + 2, entry.strings.end()),
            (std::vector<std::wstring>{L"3389", L"888", yes ? L"computer" : L"none",
                                       yes ? L"started" : L"required", L"0", L"velkora.exe"}));
    }
}

} // namespace
} // namespace velkora::test

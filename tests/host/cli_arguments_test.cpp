#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/arguments.h"

namespace velkora::cli {
namespace {

Invocation invocation(Command command, std::wstring port = L"",
                      RestartMode restart = RestartMode::None, bool force = false,
                      bool json = false) {
    Invocation i;
    i.command = command;
    i.portText = std::move(port);
    i.restart = restart;
    i.force = force;
    i.json = json;
    return i;
}

struct Accepted {
    const char* name;
    std::vector<std::wstring> arguments;
    Invocation expected;
};

class AcceptedArguments : public ::testing::TestWithParam<Accepted> {};

TEST_P(AcceptedArguments, GiveTheInvocation) {
    const ParsedArguments parsed = parseArguments(GetParam().arguments);
    ASSERT_TRUE(parsed.invocation.has_value())
        << std::string(parsed.usageError.begin(), parsed.usageError.end());
    EXPECT_TRUE(*parsed.invocation == GetParam().expected);
    EXPECT_EQ(parsed.json, GetParam().expected.json);
}

const auto C = RestartMode::Computer;
const auto N = RestartMode::None;

INSTANTIATE_TEST_SUITE_P(
    Table, AcceptedArguments,
    ::testing::Values(
        Accepted{"Status", {L"status"}, invocation(Command::Status)},
        Accepted{
            "StatusJson", {L"status", L"--json"}, invocation(Command::Status, L"", N, false, true)},
        Accepted{"StatusAnyCase",
                 {L"STATUS", L"--JSON"},
                 invocation(Command::Status, L"", N, false, true)},
        Accepted{"Check", {L"check", L"3390"}, invocation(Command::Check, L"3390")},
        Accepted{"CheckKeepsZeros", {L"check", L"0080"}, invocation(Command::Check, L"0080")},
        Accepted{"CheckJsonFirst",
                 {L"check", L"--json", L"3390"},
                 invocation(Command::Check, L"3390", N, false, true)},
        Accepted{
            "CheckRejectedTextGoesOn", {L"check", L"65536"}, invocation(Command::Check, L"65536")},
        Accepted{"CheckEmptyText", {L"check", L""}, invocation(Command::Check, L"")},
        Accepted{"Set", {L"set", L"3390"}, invocation(Command::Set, L"3390")},
        Accepted{"SetServiceRestart",
                 {L"set", L"3390", L"--restart=service", L"--verify-seconds", L"3600"},
                 [] {
                     Invocation i = invocation(Command::Set, L"3390", RestartMode::Service);
                     i.verifySeconds = 3600;
                     return i;
                 }()},
        Accepted{"SetAll",
                 {L"set", L"3390", L"--restart", L"computer", L"--force", L"--json"},
                 invocation(Command::Set, L"3390", C, true, true)},
        Accepted{"SetOptionsFirst",
                 {L"set", L"--force", L"--restart=Computer", L"3390"},
                 invocation(Command::Set, L"3390", C, true)},
        Accepted{"SetRestartNone",
                 {L"set", L"3390", L"--restart", L"none"},
                 invocation(Command::Set, L"3390", N)},
        Accepted{"HelpLong", {L"--help"}, invocation(Command::Help)},
        Accepted{"HelpShort", {L"-h"}, invocation(Command::Help)},
        Accepted{"HelpSlash", {L"/?"}, invocation(Command::Help)},
        Accepted{"HelpAfterCommand", {L"set", L"/?"}, invocation(Command::Help)},
        Accepted{"Version", {L"--version"}, invocation(Command::Version)}),
    [](const auto& info) { return std::string(info.param.name); });

struct Refused {
    const char* name;
    std::vector<std::wstring> arguments;
    std::wstring why;
    bool json;
};

class RefusedArguments : public ::testing::TestWithParam<Refused> {};

TEST_P(RefusedArguments, SayWhy) {
    const ParsedArguments parsed = parseArguments(GetParam().arguments);
    EXPECT_FALSE(parsed.invocation.has_value());
    EXPECT_EQ(parsed.usageError, GetParam().why);
    EXPECT_EQ(parsed.json, GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedArguments,
    ::testing::Values(
        Refused{"Nothing", {}, L"缺少命令", false},
        Refused{"UnknownCommand", {L"frob"}, L"未知的命令：frob", false},
        Refused{"PortAsCommand", {L"3390"}, L"未知的命令：3390", false},
        Refused{"CheckWithoutPort", {L"check", L"--json"}, L"缺少端口", true},
        Refused{"SetWithoutPort", {L"set"}, L"缺少端口", false},
        Refused{"TwoPorts", {L"set", L"3390", L"3391"}, L"多余的参数：3391", false},
        Refused{"StatusWithPort", {L"status", L"3390"}, L"多余的参数：3390", false},
        Refused{"UnknownOption", {L"set", L"3390", L"--now"}, L"未知的选项：--now", false},
        Refused{"NegativePort", {L"check", L"-5"}, L"未知的选项：-5", false},
        Refused{"ForceOnCheck", {L"check", L"3390", L"--force"}, L"未知的选项：--force", false},
        Refused{
            "RestartOnStatus", {L"status", L"--restart", L"none"}, L"未知的选项：--restart", false},
        Refused{"RestartWithoutMode",
                {L"set", L"3390", L"--restart"},
                L"--restart 后缺少 none、computer 或 service",
                false},
        Refused{"RestartBadMode",
                {L"set", L"3390", L"--restart", L"reboot", L"--json"},
                L"--restart 只能是 none、computer 或 service",
                true},
        Refused{"RestartEqualsEmpty",
                {L"set", L"3390", L"--restart="},
                L"--restart 只能是 none、computer 或 service",
                false},
        Refused{"VerifySecondsZero",
                {L"set", L"3390", L"--restart", L"service", L"--verify-seconds", L"0"},
                L"--verify-seconds 后须是 1 到 3600 的秒数",
                false},
        Refused{"VerifySecondsMissing",
                {L"set", L"3390", L"--restart", L"service", L"--verify-seconds"},
                L"--verify-seconds 后须是 1 到 3600 的秒数",
                false},
        Refused{"VerifySecondsWithoutServiceRestart",
                {L"set", L"3390", L"--verify-seconds", L"5"},
                L"--verify-seconds 只用于 --restart service",
                false},
        Refused{"VersionWithMore", {L"--version", L"status"}, L"未知的命令：--version", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UsageText, NamesEveryCommandAndEndsWithALineEnd) {
    EXPECT_EQ(usageText, L"用法：\r\n"
                         L"  velkora-cli status [--json]\r\n"
                         L"  velkora-cli check PORT [--json]\r\n"
                         L"  velkora-cli set PORT [--restart none|computer|service] "
                         L"[--verify-seconds N] [--force]\r\n"
                         L"                   [--json]\r\n"
                         L"  velkora-cli --help | -h | /?\r\n"
                         L"  velkora-cli --version\r\n");
}

} // namespace
} // namespace velkora::cli

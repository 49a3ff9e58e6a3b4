#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/arguments.h"
#include "logic/utf8.h"

namespace velkora::test {
namespace {

using namespace cli;

// An invocation, or the reason the arguments were refused, as one line:
// "set <3390> restart force json", "refused json: 缺少端口".
std::string summary(const ParsedArguments& parsed) {
    if (!parsed.invocation) {
        return std::string("refused") + (parsed.json ? " json" : "") + ": " +
               toUtf8(parsed.usageError);
    }
    const Invocation& i = *parsed.invocation;
    static const char* const names[] = {"status",   "check", "set",  "confirm",
                                        "rollback", "watch", "help", "version"};
    std::string text = names[static_cast<int>(i.command)];
    if (i.command == Command::Check || i.command == Command::Set) {
        text += " <" + toUtf8(i.portText) + ">";
    }
    text += i.restart == RestartMode::Computer ? " restart" : "";
    text += i.restart == RestartMode::Service ? " restart-service" : "";
    text += i.verifySeconds != 60 ? " verify " + std::to_string(i.verifySeconds) : "";
    text += i.confirmSeconds != 0 ? " confirm " + std::to_string(i.confirmSeconds) : "";
    text += i.confirmByCommandOnly ? " by-command-only" : "";
    text += i.closeOld ? " close-old" : "";
    text += i.allowFrom ? " allow-from " + toUtf8(*i.allowFrom) : "";
    text += i.force ? " force" : "";
    text += i.json ? " json" : "";
    return text;
}

struct Row {
    std::vector<std::wstring> arguments;
    std::string expected;
};

class Arguments : public ::testing::TestWithParam<Row> {};

TEST_P(Arguments, ParseToTheirInvocationOrTheReasonTheyAreRefused) {
    EXPECT_EQ(summary(parseArguments(GetParam().arguments)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Arguments,
    ::testing::Values(
        Row{{L"status"}, "status"}, Row{{L"STATUS", L"--JSON"}, "status json"},
        Row{{L"check", L"3390"}, "check <3390>"}, Row{{L"check", L"0080"}, "check <0080>"},
        Row{{L"check", L"--json", L"65536"}, "check <65536> json"},
        Row{{L"check", L""}, "check <>"}, Row{{L"set", L"3390"}, "set <3390>"},
        Row{{L"set", L"3390", L"--restart", L"computer", L"--force", L"--json"},
            "set <3390> restart force json"},
        Row{{L"set", L"--force", L"--restart=Computer", L"3390"}, "set <3390> restart force"},
        Row{{L"set", L"3390", L"--restart", L"none"}, "set <3390>"}, Row{{L"--help"}, "help"},
        Row{{L"-H"}, "help"}, Row{{L"/?"}, "help"}, Row{{L"--version"}, "version"},
        Row{{L"set", L"3390", L"/?"}, "refused: /? 只能单独使用"},
        Row{{L"status", L"--json", L"-h"}, "refused json: -h 只能单独使用"},
        Row{{L"--version", L"--json"}, "refused json: --version 只能单独使用"},
        Row{{L"--version", L"status"}, "refused: --version 只能单独使用"},
        Row{{}, "refused: 缺少命令"}, Row{{L"frob"}, "refused: 未知的命令：frob"},
        Row{{L"3390"}, "refused: 未知的命令：3390"},
        Row{{L"check", L"--json"}, "refused json: 缺少端口"}, Row{{L"set"}, "refused: 缺少端口"},
        Row{{L"set", L"3390", L"3391"}, "refused: 多余的参数：3391"},
        Row{{L"status", L"3390"}, "refused: 多余的参数：3390"},
        Row{{L"set", L"3390", L"--now"}, "refused: 未知的选项：--now"},
        Row{{L"check", L"-5"}, "refused: 未知的选项：-5"},
        Row{{L"check", L"3390", L"--force"}, "refused: 未知的选项：--force"},
        Row{{L"status", L"--restart", L"none"}, "refused: 未知的选项：--restart"},
        Row{{L"set", L"3390", L"--restart"}, "refused: --restart 后缺少 none、computer 或 service"},
        Row{{L"set", L"3390", L"--restart", L"later", L"--json"},
            "refused json: --restart 只能是 none、computer 或 service"},
        Row{{L"set", L"3390", L"--restart="},
            "refused: --restart 只能是 none、computer 或 service"},
        Row{{L"set", L"3390", L"--restart=service"}, "set <3390> restart-service"},
        Row{{L"set", L"--verify-seconds", L"3600", L"3390", L"--restart", L"Service"},
            "set <3390> restart-service verify 3600"},
        Row{{L"set", L"3390", L"--restart", L"service", L"--verify-seconds", L"0"},
            "refused: --verify-seconds 后须是 1 到 3600 的秒数"},
        Row{{L"set", L"3390", L"--restart", L"service", L"--verify-seconds", L"1e3"},
            "refused: --verify-seconds 后须是 1 到 3600 的秒数"},
        Row{{L"set", L"3390", L"--allow-from", L"10.0.0.0/8,LocalSubnet"},
            "set <3390> allow-from 10.0.0.0/8,LocalSubnet"},
        Row{{L"set", L"--allow-from=*", L"3390"}, "set <3390> allow-from *"},
        Row{{L"set", L"3390", L"--allow-from", L"10.0.0.0/33"},
            "refused: --allow-from 无效：无效的地址、范围或子网：10.0.0.0/33"},
        Row{{L"set", L"3390", L"--allow-from="}, "refused: --allow-from 无效：地址列表为空"},
        Row{{L"set", L"3390", L"--allow-from"}, "refused: --allow-from 后缺少地址列表"},
        Row{{L"check", L"3390", L"--allow-from", L"*"}, "refused: 未知的选项：--allow-from"},
        Row{{L"set", L"3390", L"--restart", L"service", L"--verify-seconds"},
            "refused: --verify-seconds 后须是 1 到 3600 的秒数"},
        Row{{L"set", L"3390", L"--restart=service", L"--verify-seconds=5"},
            "set <3390> restart-service verify 5"},
        Row{{L"set", L"3390", L"--restart", L"service", L"--verify-seconds="},
            "refused: --verify-seconds 后须是 1 到 3600 的秒数"},
        Row{{L"status", L"--json", L"--JSON"}, "refused json: 重复的选项：--json"},
        Row{{L"set", L"3390", L"--restart", L"none", L"--restart=computer"},
            "refused: 重复的选项：--restart"},
        Row{{L"set", L"3390", L"--restart=service", L"--verify-seconds", L"5",
             L"--verify-seconds=6"},
            "refused: 重复的选项：--verify-seconds"},
        Row{{L"set", L"3390", L"--verify-seconds", L"5"},
            "refused: --verify-seconds 只用于 --restart service"},
        Row{{L"Confirm", L"--json"}, "confirm json"}, Row{{L"rollback"}, "rollback"},
        Row{{L"confirm", L"3390"}, "refused: 多余的参数：3390"},
        Row{{L"rollback", L"--force"}, "refused: 未知的选项：--force"},
        Row{{L"set", L"3390", L"--restart=service", L"--confirm-seconds=30",
             L"--confirm-by-command-only"},
            "set <3390> restart-service confirm 30 by-command-only"},
        Row{{L"set", L"3390", L"--restart=computer", L"--confirm-seconds", L"86400"},
            "set <3390> restart confirm 86400"},
        Row{{L"set", L"3390", L"--restart=service", L"--confirm-seconds", L"29"},
            "refused: --confirm-seconds 后须是 30 到 86400 的秒数"},
        Row{{L"set", L"3390", L"--restart=service", L"--confirm-seconds", L"86401"},
            "refused: --confirm-seconds 后须是 30 到 86400 的秒数"},
        Row{{L"set", L"3390", L"--confirm-seconds", L"300"},
            "refused: --confirm-seconds 只用于 --restart service 或 --restart computer"},
        Row{{L"set", L"3390", L"--restart=service", L"--confirm-by-command-only"},
            "refused: --confirm-by-command-only 只用于 --confirm-seconds"}));

struct HoldRow {
    std::vector<std::wstring> arguments;
    bool holds;
};

class ConsoleEvents : public ::testing::TestWithParam<HoldRow> {};

// Every run that writes, whatever its restart, is kept from being ended between its writes.
TEST_P(ConsoleEvents, AreHeldOffForEveryRunThatWrites) {
    const ParsedArguments parsed = parseArguments(GetParam().arguments);
    ASSERT_TRUE(parsed.invocation);
    EXPECT_EQ(holdsOffConsoleEvents(*parsed.invocation), GetParam().holds);
}

INSTANTIATE_TEST_SUITE_P(Table, ConsoleEvents,
                         ::testing::Values(HoldRow{{L"set", L"3390"}, true},
                                           HoldRow{{L"set", L"3390", L"--restart=none"}, true},
                                           HoldRow{{L"set", L"3390", L"--restart=computer"}, true},
                                           HoldRow{{L"set", L"3390", L"--restart=service"}, true},
                                           HoldRow{{L"confirm"}, true},
                                           HoldRow{{L"rollback"}, true},
                                           HoldRow{{L"status"}, false},
                                           HoldRow{{L"check", L"3390"}, false}));

} // namespace
} // namespace velkora::test

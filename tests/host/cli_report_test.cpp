#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "cli/commands.h"
#include "cli/json_report.h"
#include "cli/text_report.h"
#include "logic/utf8.h"
#include "tests/host/fakes.h"
#include "tests/host/registry_arrangements.h"
#include "tests/host/registry_paths.h"
#include "tests/host/server_arrangements.h"
#include "velkora_version.h"

namespace velkora::test {
namespace {

using namespace cli;

const PlatformError accessDenied(5, L"拒绝访问。");
const PlatformError firewallDenied(-2147024891, L"拒绝访问。");

Invocation asked(Command command, std::wstring port = L"", RestartMode restart = RestartMode::None,
                 bool force = false) {
    Invocation i;
    i.command = command;
    i.portText = std::move(port);
    i.restart = restart;
    i.force = force;
    return i;
}

Invocation allowingFrom(Invocation invocation, std::wstring addresses) {
    invocation.allowFrom = std::move(addresses);
    return invocation;
}

// Run in a Remote Desktop session whose client reports one address while the service's
// connection on 3389 comes from another.
std::function<void(FakePlatform&)> inSessionWithPeer(std::wstring reported, std::wstring peer) {
    return [=](FakePlatform& f) {
        f.info.sessionClientAddress = reported;
        f.ports.peersByPort[3389] = {{100, peer}, {7, L"198.51.100.1"}};
    };
}

// The listener's values already hold 3390, written by an earlier set; the listener itself is
// where that set left it.
void setEarlier(FakePlatform& fake, RestartMode restart = RestartMode::None) {
    runCommand(asked(Command::Set, L"3390", restart), fake.platform);
}

// Written without a restart: the service's process still listens on 3389 only.
void writtenButListeningElsewhere(FakePlatform& fake) {
    setEarlier(fake);
    fake.services.listeners[100] = {3389};
}

struct Case {
    const char* name;
    Invocation invocation;
    std::function<void(FakePlatform&)> arrangeMore;
    int exitCode;
    bool written; // the listener's values hold the new port afterwards
    std::wstring out, err;
};

const std::wstring done =
    L"端口修改成功，请重启计算机生效！\r\n防火墙规则：TCP 已添加，UDP 已添加\r\n";
// The last line of a set that did its work.
std::wstring connectLine(long port) {
    return L"连接方式：mstsc /v:srv01.example.com:" + std::to_wstring(port) + L"\r\n";
}

const Case cases[] = {
    {"StatusOfAServer", asked(Command::Status),
     [](FakePlatform& f) { f.services.services.erase(L"TermService"); }, 0, false,
     L"当前远程端口：3389\r\n防火墙规则：TCP 不存在，UDP 不存在\r\n远程桌面连接：未知\r\n"
     L"远程桌面服务（TermService）：未知\r\n监听器 RDP-Tcp：端口 3389，已启用，安全层 未知，"
     L"网络级别身份验证未知\r\n",
     L""},
    {"StatusWithoutThePortValue", asked(Command::Status),
     [](FakePlatform& f) {
         f.registry.setValue(tdsPort, stringValue(L"x"));
         f.registry.setValue(rdpTcpPort, stringValue(L"x"));
     },
     1, false, L"", L"无法读取当前远程端口。\r\n错误 13：数据无效。\r\n"},
    {"CheckFree", asked(Command::Check, L"3390"), nullptr, 0, false, L"端口 3390 可用。\r\n", L""},
    {"CheckSame", asked(Command::Check, L"03389"), nullptr, 0, false,
     L"端口 3389 就是当前的远程端口。\r\n", L""},
    {"CheckInUse", asked(Command::Check, L"8080"), nullptr, 10, false,
     L"端口 8080 已被 nginx.exe（nginx）（进程 2044）占用，远程桌面将无法在此端口监听。\r\n", L""},
    {"CheckReserved", asked(Command::Check, L"50000"), nullptr, 11, false,
     L"端口 50000 位于系统保留的端口范围内，远程桌面可能无法在此端口监听。\r\n"
     L"该端口属于动态端口范围（49152-65535），系统从中为出站连接分配端口，保留范围也多在其中。\r\n",
     L""},
    {"CheckUnknownBindError", asked(Command::Check, L"4000"), nullptr, 11, false,
     L"端口 4000 位于系统保留的端口范围内，远程桌面可能无法在此端口监听。\r\n", L""},
    {"CheckTooLarge", asked(Command::Check, L"65536"), nullptr, 2, false, L"",
     L"端口数字过大：端口最大值仅支持65535\r\n"},
    {"StatusWithTheRulesRemoteAddresses", asked(Command::Status),
     [](FakePlatform& f) {
         f.services.services.erase(L"TermService");
         runCommand(allowingFrom(asked(Command::Set, L"3389"), L"10.0.0.0/8,LocalSubnet"),
                    f.platform);
     },
     0, false,
     L"当前远程端口：3389\r\n防火墙规则：TCP 已存在（远程地址 10.0.0.0/8,LocalSubnet），UDP "
     L"已存在（远程地址 10.0.0.0/8,LocalSubnet）\r\n远程桌面连接：未知\r\n"
     L"远程桌面服务（TermService）：未知\r\n监听器 RDP-Tcp：端口 3389，已启用，安全层 未知，"
     L"网络级别身份验证未知\r\n",
     L""},
    // The peers of Remote Desktop's connections count, not the address the client reports.
    {"SetAllowingTheSessionsClient", allowingFrom(asked(Command::Set, L"3390"), L"10.0.0.0/8"),
     inSessionWithPeer(L"192.0.2.7", L"10.1.2.3"), 3010, true, done + connectLine(3390), L""},
    {"SetAllowingFromOutsideASession", allowingFrom(asked(Command::Set, L"3390"), L"10.0.0.0/8"),
     nullptr, 3010, true, done + connectLine(3390), L""},
    {"SetCuttingOffTheSession", allowingFrom(asked(Command::Set, L"3390"), L"10.0.0.0/8"),
     inSessionWithPeer(L"10.1.2.3", L"192.0.2.7"), 12, false, L"",
     L"本远程桌面会话的客户端地址 192.0.2.7 不在 --allow-from 的地址中：修改后将切断本会话。\r\n"
     L"未写入任何内容。如仍要修改，请加 --force。\r\n"},
    {"SetInASessionWhosePeerIsNotFound", allowingFrom(asked(Command::Set, L"3390"), L"10.0.0.0/8"),
     [](FakePlatform& f) { f.info.remoteSession = true; }, 12, false, L"",
     L"本进程在远程桌面会话中运行，但找不到远程桌面服务在监听端口上的连接，无法确认 --allow-from "
     L"不会切断本会话。\r\n未写入任何内容。如仍要修改，请加 --force。\r\n"},
    {"SetCuttingOffTheSessionForced",
     allowingFrom(asked(Command::Set, L"3390", RestartMode::None, true), L"LocalSubnet"),
     inSessionWithPeer(L"192.168.0.9", L"192.168.0.9"), 3010, true, done + connectLine(3390),
     L"本远程桌面会话的客户端地址 192.168.0.9 不在 --allow-from 的地址中：修改后将切断本会话。\r\n"
     L"已按 --force 继续修改。\r\n"},
    {"SetEmpty", asked(Command::Set, L""), nullptr, 2, false, L"", L"端口不能为空\r\n"},
    {"SetFree", asked(Command::Set, L"3390"), nullptr, 3010, true, done + connectLine(3390), L""},
    {"SetSamePortMissingItsRules", asked(Command::Set, L"3389"), nullptr, 0, true,
     L"端口已是 3389，已补全防火墙设置，无需重启。\r\n防火墙规则：TCP 已添加，UDP 已添加\r\n" +
         connectLine(3389),
     L""},
    {"SetAndRestart", asked(Command::Set, L"3390", RestartMode::Computer), nullptr, 1641, true,
     L"端口修改成功，正在重启计算机。\r\n防火墙规则：TCP 已添加，UDP 已添加\r\n" +
         connectLine(3390),
     L""},
    {"SetAndRestartFailing", asked(Command::Set, L"3390", RestartMode::Computer),
     [](FakePlatform& f) { f.launcher.failWith(PlatformError(2, L"系统找不到指定的文件。")); },
     3010, true, done,
     L"错误 2：系统找不到指定的文件。\r\n端口已修改，但无法重启计算机，请手动重启。\r\n"},
    // Started is only said once the restart command ended well.
    {"SetAndRestartRefusedByShutdown", asked(Command::Set, L"3390", RestartMode::Computer),
     [](FakePlatform& f) { f.launcher.exitError = PlatformError(1190, L"已计划关闭系统。"); }, 3010,
     true, done, L"错误 1190：已计划关闭系统。\r\n端口已修改，但无法重启计算机，请手动重启。\r\n"},
    {"SetAndRestartService", asked(Command::Set, L"3390", RestartMode::Service),
     arrangeServiceRestart, 0, true,
     L"端口修改成功，远程桌面服务已重启，正在端口 3390 上监听（用时 0 秒）。\r\n"
     L"防火墙规则：TCP 已添加，UDP 已添加\r\n" +
         connectLine(3390),
     L""},
    {"SetAndRestartServiceNotListening", asked(Command::Set, L"3390", RestartMode::Service),
     [](FakePlatform& f) {
         arrangeServiceRestart(f);
         f.services.refusedPort = 3390;
     },
     13, false, L"",
     L"远程桌面服务重启后没有在端口 3390 上监听。\r\n当时服务状态：正在运行，进程 "
     L"200，监听端口：无\r\n"
     L"已恢复原端口 3389 的注册表值和防火墙规则，远程桌面服务已重新在该端口上监听。\r\n"},
    {"SetAndRestartServiceFailingTwice", asked(Command::Set, L"3390", RestartMode::Service),
     [](FakePlatform& f) {
         arrangeServiceRestart(f);
         f.services.failing = {L"start TermService"};
     },
     1, false, L"",
     L"远程桌面服务重启后没有在端口 3390 上监听。\r\n当时服务状态：已停止，监听端口：无\r\n"
     L"错误 1053：服务没有及时响应启动或控制请求。\r\n恢复失败，以下是现在的状态，请检查：\r\n"
     L"监听端口值：3389\r\n远程桌面服务：已停止，监听端口：无\r\n"
     L"错误 1053：服务没有及时响应启动或控制请求。\r\n恢复时出错，见上面的状态。\r\n"},
    {"SetAndRestartServiceThatRefusesStop", asked(Command::Set, L"3390", RestartMode::Service),
     [](FakePlatform& f) {
         arrangeServiceRestart(f);
         f.services.services[L"TermService"].acceptsStop = false;
     },
     1, false, L"",
     L"错误 1052：服务 TermService 现在不接受停止请求，无法重启它。\r\n未做任何修改。\r\n"},
    {"SetAgainWhileTheListenerIsElsewhere", asked(Command::Set, L"3390"),
     writtenButListeningElsewhere, 3010, true,
     L"端口已是 3390，但远程桌面服务还没有在该端口上监听，请重启计算机生效！\r\n" +
         connectLine(3390),
     L""},
    {"SetAgainAndRestartWhileTheListenerIsElsewhere",
     asked(Command::Set, L"3390", RestartMode::Computer), writtenButListeningElsewhere, 1641, true,
     L"端口已是 3390，但远程桌面服务还没有在该端口上监听，正在重启计算机。\r\n" + connectLine(3390),
     L""},
    {"SetAgainWhileTheListenerIsOnIt", asked(Command::Set, L"3390"),
     [](FakePlatform& f) {
         writtenButListeningElsewhere(f);
         f.services.listeners[100] = {3389, 3390};
         f.ports.holdersByPort[3390] = {{PortProtocol::Tcp, false, 100, L"svchost.exe", {}}};
     },
     0, true, L"端口已是 3390，无需修改。\r\n" + connectLine(3390), L""},
    {"SetAgainAndRestartServiceWhileTheListenerIsElsewhere",
     asked(Command::Set, L"3390", RestartMode::Service),
     [](FakePlatform& f) {
         arrangeServiceRestart(f);
         setEarlier(f);
     },
     0, true,
     L"端口已是 3390，远程桌面服务已重启，正在端口 3390 上监听（用时 0 秒）。\r\n"
     L"防火墙规则：TCP 已存在，UDP 已存在\r\n" +
         connectLine(3390),
     L""},
    {"SetAgainAndRestartServiceNotListening", asked(Command::Set, L"3390", RestartMode::Service),
     [](FakePlatform& f) {
         arrangeServiceRestart(f);
         setEarlier(f);
         f.services.refusedPort = 3390;
     },
     1, true, L"",
     L"远程桌面服务重启后没有在端口 3390 上监听。\r\n当时服务状态：正在运行，进程 "
     L"200，监听端口：无\r\n端口值在重启前已是 3390，没有需要恢复的修改。\r\n"
     L"错误 1062：服务 TermService 没有在端口 3390 上监听。\r\n请检查远程桌面服务。\r\n"},
    {"SetAgainAndRestartServiceListeningWithUnnamedOwner",
     asked(Command::Set, L"3390", RestartMode::Service),
     [](FakePlatform& f) {
         arrangeServiceRestart(f);
         f.services.ownersUnnamed = true;
         setEarlier(f, RestartMode::Service);
     },
     0, true, L"端口已是 3390，无需修改。\r\n" + connectLine(3390), L""},
    {"SetInUse", asked(Command::Set, L"8080"), nullptr, 10, false, L"",
     L"端口 8080 已被 nginx.exe（nginx）（进程 2044）占用，远程桌面将无法在此端口监听。\r\n"
     L"未写入任何内容。如仍要修改，请加 --force。\r\n"},
    {"SetReserved", asked(Command::Set, L"50000", RestartMode::Computer), nullptr, 11, false, L"",
     L"端口 50000 位于系统保留的端口范围内，远程桌面可能无法在此端口监听。\r\n"
     L"该端口属于动态端口范围（49152-65535），系统从中为出站连接分配端口，保留范围也多在其中。\r\n"
     L"未写入任何内容。如仍要修改，请加 --force。\r\n"},
    {"SetInUseForced", asked(Command::Set, L"8080", RestartMode::None, true), nullptr, 3010, true,
     done + connectLine(8080),
     L"端口 8080 已被 nginx.exe（nginx）（进程 2044）占用，远程桌面将无法在此端口监听。\r\n"
     L"已按 --force 继续修改。\r\n"},
    {"SetRefusedWrite", asked(Command::Set, L"3390"),
     [](FakePlatform& f) { f.registry.failWrite(3, accessDenied); }, 5, false, L"",
     L"错误 5：拒绝访问。\r\n请以管理员身份运行。\r\n未做任何修改。\r\n"},
    {"SetRefusedRule", asked(Command::Set, L"3390"),
     [](FakePlatform& f) { f.firewall.failPut(1, firewallDenied); }, 5, false, L"",
     L"错误 0x80070005：拒绝访问。\r\n请以管理员身份运行。\r\n未做任何修改。\r\n"},
    {"SetWhileAnotherChanges", asked(Command::Set, L"3390"),
     [](FakePlatform& f) {
         f.changeLock.failWith(PlatformError(1618, L"另一个端口修改正在进行，请稍后再试。"));
     },
     1618, false, L"", L"错误 1618：另一个端口修改正在进行，请稍后再试。\r\n未做任何修改。\r\n"},
    {"SetOtherFailure", asked(Command::Set, L"3390"),
     [](FakePlatform& f) {
         f.registry.failWrite(2, PlatformError(1021, L"无法在易失性项下创建稳定子项。"));
     },
     1, false, L"", L"错误 1021：无法在易失性项下创建稳定子项。\r\n未做任何修改。\r\n"},
};

class Outcome : public ::testing::TestWithParam<Case> {};

TEST_P(Outcome, GivesItsExitCodeAndLinesAndWritesOnlyWhenItSaysSo) {
    const Case& c = GetParam();
    FakePlatform fake;
    arrangeServer(fake);
    if (c.arrangeMore) {
        c.arrangeMore(fake);
    }
    const auto before = fake.registry.contents();
    const auto rulesBefore = fake.firewall.rules;

    const Report report = runCommand(c.invocation, fake.platform);
    const TextReport text = textReport(report);

    EXPECT_EQ(report.exitCode, c.exitCode);
    EXPECT_EQ(toUtf8(text.out), toUtf8(c.out));
    EXPECT_EQ(toUtf8(text.err), toUtf8(c.err));
    if (c.written) {
        EXPECT_EQ(fake.registry.value(tdsPort),
                  dwordValue(static_cast<std::uint32_t>(*report.newPort)));
        EXPECT_EQ(fake.registry.value(rdpTcpPort), fake.registry.value(tdsPort));
    } else {
        EXPECT_EQ(fake.registry.contents(), before);
        EXPECT_EQ(fake.firewall.rules, rulesBefore);
    }
    EXPECT_EQ(fake.launcher.launches().size(),
              c.invocation.restart == RestartMode::Computer && c.written ? 1u : 0u);
    EXPECT_FALSE(fake.changeLock.held());
}

INSTANTIATE_TEST_SUITE_P(Table, Outcome, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

// A refused write whose put-back is refused too leaves write 1 in place: that is a failure
// with something changed, never 5's "nothing changed".
TEST(OutcomeOfAFailedPutBack, IsOneAndSaysWhatToCheck) {
    FakePlatform fake;
    arrangeServer(fake);
    fake.registry.failWrite(2, accessDenied);
    fake.registry.failRestores(PlatformError(1018, L"无法写入。"));

    const Report report = runCommand(asked(Command::Set, L"3390"), fake.platform);

    EXPECT_EQ(report.exitCode, 1);
    EXPECT_EQ(toUtf8(textReport(report).err),
              toUtf8(L"错误 5：拒绝访问。\r\n恢复原值失败（错误 1018）：无法写入。\r\n"
                     L"修改未能全部恢复，请检查远程桌面的端口值和防火墙规则。\r\n"));
    EXPECT_NE(jsonReport(report).find("\"rolledBack\":false"), std::string::npos);
    EXPECT_NE(jsonReport(report).find("\"changed\":true"), std::string::npos);
}

// The same after a restart of the service that did not take the new port: the values that
// could not be put back are still changed.
TEST(OutcomeOfAFailedPutBack, AfterARestartSaysTheChangeIsStillThere) {
    FakePlatform fake;
    arrangeServer(fake);
    arrangeServiceRestart(fake);
    fake.services.refusedPort = 3390;
    fake.registry.failRestores(PlatformError(1018, L"无法写入。"));
    Invocation invocation = asked(Command::Set, L"3390", RestartMode::Service);
    invocation.verifySeconds = 5;

    const Report report = runCommand(invocation, fake.platform);

    EXPECT_EQ(report.exitCode, 1);
    EXPECT_NE(jsonReport(report).find("\"changed\":true,"), std::string::npos)
        << jsonReport(report);
}

TEST(OutcomeOfASecondSet, IsDoneWithNothingChanged) {
    FakePlatform fake;
    arrangeServer(fake);
    runCommand(asked(Command::Set, L"3390"), fake.platform);
    const std::size_t writes = fake.registry.writes().size();

    const Report report =
        runCommand(asked(Command::Set, L"3390", RestartMode::Computer), fake.platform);

    EXPECT_EQ(report.exitCode, 0);
    EXPECT_EQ(fake.registry.writes().size(), writes);
    EXPECT_TRUE(fake.launcher.launches().empty()) << "nothing changed, nothing to restart for";
    EXPECT_EQ(toUtf8(textReport(report).out),
              toUtf8(L"端口已是 3390，无需修改。\r\n" + connectLine(3390)));
    EXPECT_EQ(jsonReport(report),
              R"({"schema":1,"version":")" VELKORA_VERSION_TEXT
              R"(","command":"set","exitCode":0,"port":3390,"oldPort":3390,"newPort":3390,)"
              R"("changed":false,"restart":"none","forced":false,)"
              R"("firewall":{"available":true,"tcp":"present","udp":"present"},)"
              R"("check":{"result":"same","owners":[],"bindError":0,"dynamicRange":false},)"
              R"("remoteDesktop":null,"error":null})");
}

// Only the RDP-Tcp value moved, as the usual guide does it: Remote Desktop listens there, so
// that is the current port of every command; a set writes both, so that they agree again.
TEST(CurrentPort, IsTheRdpTcpValue) {
    FakePlatform fake;
    arrangeServer(fake);
    fake.registry.setValue(rdpTcpPort, dwordValue(4100));

    EXPECT_EQ(runCommand(asked(Command::Status), fake.platform).port, 4100);
    EXPECT_EQ(runCommand(asked(Command::Check, L"4100"), fake.platform).check->result,
              PortCheckResult::Same);
    const Report set = runCommand(asked(Command::Set, L"4200"), fake.platform);
    EXPECT_EQ(set.oldPort, 4100);
    EXPECT_EQ(set.exitCode, 3010);
    EXPECT_EQ(fake.registry.value(tdsPort), dwordValue(4200));
    EXPECT_EQ(fake.registry.value(rdpTcpPort), dwordValue(4200));
}

// A second listener copied from RDP-Tcp keeps a fallback on 3390: status lists both, check and
// set refuse its port by name (listed as the registry lists them), and moving RDP-Tcp, now without
// NLA, while the fallback is disabled says the new port is as open to scanners.
TEST(Listeners, AreListedGuardedAndWarnedAbout) {
    const std::wstring winStations = L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\"
                                     L"Terminal Server\\WinStations\\";
    FakePlatform fake;
    arrangeServer(fake);
    fake.registry.setValue(winStations + L"RDP-Tcp\\UserAuthentication", dwordValue(0));
    fake.registry.setValue(winStations + L"RDP-Tcp\\SecurityLayer", dwordValue(1));
    fake.registry.setValue(winStations + L"Fallback\\PortNumber", dwordValue(3390));
    fake.registry.setValue(winStations + L"Fallback\\SecurityLayer", dwordValue(2));
    fake.registry.setValue(winStations + L"Fallback\\UserAuthentication", dwordValue(1));

    const std::string listed =
        toUtf8(textReport(runCommand(asked(Command::Status), fake.platform)).out);
    EXPECT_NE(listed.find(toUtf8(
                  L"监听器 Fallback：端口 3390，已启用，安全层 TLS，要求网络级别身份验证\r\n"
                  L"监听器 RDP-Tcp：端口 3389，已启用，安全层 协商，不要求网络级别身份验证\r\n")),
              std::string::npos)
        << listed;
    const Report check = runCommand(asked(Command::Check, L"3390"), fake.platform);
    EXPECT_EQ(check.exitCode, 10);
    EXPECT_EQ(toUtf8(textReport(check).out),
              toUtf8(L"端口 3390 已被远程桌面的另一个监听器 Fallback "
                     L"使用，两个监听器不能共用一个端口。\r\n"));
    EXPECT_NE(jsonReport(check).find(R"("listener":"Fallback")"), std::string::npos);

    const std::wstring warning =
        L"警告：唯一启用的远程桌面监听器没有要求网络级别身份验证，新端口同样会被扫描器找到。\r\n";
    EXPECT_EQ(toUtf8(textReport(runCommand(asked(Command::Set, L"3391"), fake.platform)).err), "");
    fake.registry.setValue(winStations + L"Fallback\\fEnableWinStation", dwordValue(0));
    EXPECT_EQ(toUtf8(textReport(runCommand(asked(Command::Set, L"3392"), fake.platform)).err),
              toUtf8(warning));
}

// Each set that touched or was refused leaves one audit event: its id, ports, restart,
// outcome and exit code (strings 3 to 7); one that changed nothing leaves none.
TEST(AuditEvents, OneForEachSetThatChangedOrWasRefused) {
    struct Row {
        const char* label;
        Invocation invocation;
        std::function<void(FakePlatform&)> arrange;
        std::vector<unsigned long> ids;
        std::vector<std::wstring> fields; // %3 to %7 of the one event
    } rows[] = {
        {"Applied",
         asked(Command::Set, L"3390"),
         [](FakePlatform&) {},
         {1000},
         {L"3389", L"3390", L"none", L"required", L"3010"}},
        {"Refused",
         asked(Command::Set, L"8080"),
         [](FakePlatform&) {},
         {1006},
         {L"3389", L"8080", L"none", L"inUse", L"10"}},
        {"Confirmed",
         asked(Command::Set, L"3390", RestartMode::Service),
         arrangeServiceRestart,
         {1001},
         {L"3389", L"3390", L"service", L"done", L"0"}},
        {"PutBack",
         asked(Command::Set, L"3390"),
         [](FakePlatform& f) { f.registry.failWrite(3, accessDenied); },
         {1004},
         {L"3389", L"3390", L"none", L"5: 拒绝访问。", L"5"}},
        {"NothingChanged",
         asked(Command::Set, L"3389"),
         [](FakePlatform& f) {
             for (const FirewallRule& rule : buildFirewallRules(3389)) {
                 f.firewall.rules[rule.name] = rule;
             }
             runCommand(asked(Command::Set, L"3389"), f.platform);
             f.audit.reported.clear();
         },
         {},
         {}},
    };
    for (const Row& row : rows) {
        FakePlatform fake;
        arrangeServer(fake);
        row.arrange(fake);
        runCommand(row.invocation, fake.platform);
        std::vector<unsigned long> ids;
        for (const AuditEntry& entry : fake.audit.reported) {
            ids.push_back(entry.eventId);
        }
        EXPECT_EQ(ids, row.ids) << row.label;
        if (!row.ids.empty() && ids.size() == 1) {
            const std::vector<std::wstring>& s = fake.audit.reported[0].strings;
            EXPECT_EQ(std::vector<std::wstring>(s.begin() + 2, s.begin() + 7), row.fields)
                << row.label;
        }
    }
}

// A failure to record is said once on stderr and changes nothing of the result.
TEST(AuditEvents, AFailureToRecordIsSaidOnce) {
    FakePlatform fake;
    arrangeServer(fake);
    fake.audit.reportError = PlatformError(5, L"拒绝访问。");
    const Report report = runCommand(asked(Command::Set, L"3390"), fake.platform);
    EXPECT_EQ(report.exitCode, 3010);
    EXPECT_EQ(toUtf8(textReport(report).err),
              toUtf8(L"警告：无法写入审计事件（错误 5）：拒绝访问。\r\n"));
}

// A change lock left by a holder that ended: said in every case; while the listener's two
// values disagree (cut off between write 1 and write 2) nothing is built on them unless forced.
TEST(InterruptedChange, IsSaidAndNotBuiltOnWhileTheValuesDisagree) {
    const std::wstring notice =
        L"注意：上一次端口修改被中断（持有修改锁的程序意外结束），本次已接手修改锁。\r\n";
    struct Row {
        long tds;
        bool force;
        int exitCode;
        std::wstring errAfterNotice;
    } rows[] = {
        {3389, false, 3010, L""},
        {3390, false, 1,
         L"错误 13：上一次端口修改被中断，监听端口的两个值不一致：Tds\\tcp 为 3390，RDP-Tcp 为 "
         L"3389。请先检查这两个值；如确认要在此基础上修改，请加 --force。\r\n未做任何修改。\r\n"},
        {3390, true, 3010, L""},
    };
    for (const Row& row : rows) {
        FakePlatform fake;
        arrangeServer(fake);
        fake.registry.setValue(tdsPort, dwordValue(static_cast<std::uint32_t>(row.tds)));
        fake.changeLock.abandoned = true;
        const auto before = fake.registry.contents();

        const Report report =
            runCommand(asked(Command::Set, L"3391", RestartMode::None, row.force), fake.platform);

        EXPECT_EQ(report.exitCode, row.exitCode) << row.tds << row.force;
        EXPECT_EQ(toUtf8(textReport(report).err), toUtf8(notice + row.errAfterNotice));
        EXPECT_NE(jsonReport(report).find("\"interrupted\":true"), std::string::npos);
        EXPECT_EQ(fake.registry.contents() == before, row.exitCode == 1);
    }
}

// Where Remote Desktop does not listen on its port now (connections denied, a listener
// disabled), a restart could be neither verified nor put back: nothing is written.
TEST(ServiceRestart, IsRefusedWhereTheServiceDoesNotListenOnItsPortNow) {
    FakePlatform fake;
    arrangeServer(fake);
    const auto before = fake.registry.contents();

    const Report report =
        runCommand(asked(Command::Set, L"3390", RestartMode::Service), fake.platform);

    EXPECT_EQ(report.exitCode, 1);
    EXPECT_EQ(fake.registry.contents(), before);
    EXPECT_TRUE(fake.services.log.empty());
    EXPECT_EQ(toUtf8(textReport(report).err),
              toUtf8(L"错误 1062：服务 TermService 现在没有在端口 3389 上监听（远程桌面连接被禁止，"
                     L"或监听已停用），重启后无法确认新端口。\r\n未做任何修改。\r\n"));
}

TEST(ServiceRestart, SaysWhyItRolledBackInJsonAndInTheLog) {
    FakePlatform fake;
    arrangeServer(fake);
    arrangeServiceRestart(fake);
    fake.services.refusedPort = 3390;
    Invocation invocation = asked(Command::Set, L"3390", RestartMode::Service);
    invocation.verifySeconds = 5;

    const Report report = runCommand(invocation, fake.platform);

    EXPECT_EQ(
        jsonReport(report),
        R"({"schema":1,"version":")" VELKORA_VERSION_TEXT
        R"(","command":"set","exitCode":13,"port":3389,"oldPort":3389,"newPort":3390,)"
        R"("changed":false,"restart":"none","forced":false,"firewall":null,)"
        R"("check":{"result":"free","owners":[],"bindError":0,"dynamicRange":false},)"
        R"("remoteDesktop":null,"error":null,"verified":false,"rolledBack":true,)"
        R"("restartSeconds":5.0,"reason":{"service":{"state":"running","pid":200,"tcpPorts":[]},)"
        R"("error":null},"service":{"state":"running","pid":201,"tcpPorts":[]}})");
    EXPECT_EQ(fake.resultLog.lines,
              std::vector<std::wstring>{
                  L"set 3390 --restart service: exit 13, rolled back, old port 3389"});
}

// Only a missing rule made good: the listener already has the port, nothing to restart.
TEST(ServiceRestart, OfAPortAlreadyInTheListenerRestartsNothing) {
    FakePlatform fake;
    arrangeServer(fake);
    arrangeServiceRestart(fake);
    runCommand(asked(Command::Set, L"3390", RestartMode::Service), fake.platform);
    fake.services.log.clear();
    fake.resultLog.lines.clear();
    const auto rules = fake.firewall.rules;
    fake.firewall.rules.erase(buildFirewallRules(3390)[0].name);

    const Report report =
        runCommand(asked(Command::Set, L"3390", RestartMode::Service), fake.platform);

    EXPECT_EQ(report.exitCode, 0);
    EXPECT_EQ(toUtf8(textReport(report).out),
              toUtf8(L"端口已是 3390，已补全防火墙设置，无需重启。\r\n"
                     L"防火墙规则：TCP 已添加，UDP 已存在\r\n" +
                     connectLine(3390)));
    EXPECT_EQ(fake.firewall.rules, rules);
    EXPECT_TRUE(fake.services.log.empty());
    EXPECT_TRUE(fake.resultLog.lines.empty());
}

TEST(JsonReport, OfASetRefusedForAPortInUseNamesTheOwner) {
    FakePlatform fake;
    arrangeServer(fake);
    fake.ports.holdersByPort[8080][0].image = L"we\"b\\服务\x01.exe";

    const Report report = runCommand(asked(Command::Set, L"8080"), fake.platform);

    EXPECT_EQ(jsonReport(report),
              "{\"schema\":1,\"version\":\"" VELKORA_VERSION_TEXT
              "\",\"command\":\"set\",\"exitCode\":10,\"port\":3389,\"oldPort\":3389,"
              "\"newPort\":8080,\"changed\":false,\"restart\":\"none\",\"forced\":false,"
              "\"firewall\":null,\"check\":{\"result\":\"inUse\",\"owners\":[{\"protocol\":\"TCP\","
              "\"pid\":2044,\"image\":\"we\\\"b\\\\\\u670d\\u52a1\\u0001.exe\","
              "\"services\":[\"nginx\"]}],\"bindError\":10048,\"dynamicRange\":false},"
              "\"remoteDesktop\":null,\"error\":null}");
}

// The two values differ: Remote Desktop listens on the RDP-Tcp one, which is the port.
TEST(JsonReport, OfAStatusWithAPolicyAndARunningService) {
    FakePlatform fake;
    arrangeServer(fake);
    fake.registry.setValue(rdpTcpPort, dwordValue(3390));
    fake.registry.setValue(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Microsoft\\Windows NT\\"
                           L"Terminal Services\\fDenyTSConnections",
                           dwordValue(1));
    fake.services.services[L"TermService"] = {true, 1234, true};
    fake.services.listeners[1234] = {3389, 3390};

    const Report report = runCommand(asked(Command::Status), fake.platform);

    EXPECT_EQ(jsonReport(report),
              R"({"schema":1,"version":")" VELKORA_VERSION_TEXT
              R"(","command":"status","exitCode":0,"port":3390,"oldPort":null,)"
              R"("newPort":null,"changed":null,"restart":null,"forced":false,)"
              R"("firewall":{"available":true,"tcp":"absent","udp":"absent",)"
              R"("tcpRemoteAddresses":null,"udpRemoteAddresses":null},"check":null,)"
              R"("remoteDesktop":{"listeners":[{"name":"RDP-Tcp","port":3390,"enabled":true,)"
              R"("securityLayer":null,"nlaRequired":null}],"allowed":false,"allowedByPolicy":true,)"
              R"("portValues":{"tds":3389,"rdpTcp":3390},)"
              R"("service":{"state":"running","pid":1234,"tcpPorts":[3389,3390]}},"error":null,)"
              R"("pendingChange":null})");
    const TextReport text = textReport(report);
    EXPECT_EQ(
        toUtf8(text.out),
        toUtf8(L"当前远程端口：3390\r\n防火墙规则：TCP 不存在，UDP 不存在\r\n"
               L"远程桌面连接：禁止（由组策略决定）\r\n"
               L"远程桌面服务（TermService）：正在运行，进程 1234，监听 TCP 端口：3389, 3390\r\n"
               L"监听器 RDP-Tcp：端口 3390，已启用，安全层 未知，网络级别身份验证未知\r\n"));
    EXPECT_EQ(toUtf8(text.err),
              toUtf8(L"警告：监听端口的两个值不一致：Tds\\tcp 为 3389，RDP-Tcp 为 3390。\r\n"));
}

struct StateRow {
    ServiceState state;
    std::string json;
    std::wstring text;
};

class ServiceStateNames : public ::testing::TestWithParam<StateRow> {};

// A number outside those the service control manager defines is unknown, not a crash.
TEST_P(ServiceStateNames, InStatusAreTheStateOrUnknown) {
    FakePlatform fake;
    arrangeServer(fake);
    fake.services.services[L"TermService"] = {true, 1234, true};
    fake.services.reportedStates[L"TermService"] = GetParam().state;

    const Report report = runCommand(asked(Command::Status), fake.platform);

    EXPECT_EQ(jsonReport(report),
              R"({"schema":1,"version":")" VELKORA_VERSION_TEXT
              R"(","command":"status","exitCode":0,"port":3389,"oldPort":null,)"
              R"("newPort":null,"changed":null,"restart":null,"forced":false,)"
              R"("firewall":{"available":true,"tcp":"absent","udp":"absent",)"
              R"("tcpRemoteAddresses":null,"udpRemoteAddresses":null},"check":null,)"
              R"("remoteDesktop":{"listeners":[{"name":"RDP-Tcp","port":3389,"enabled":true,)"
              R"("securityLayer":null,"nlaRequired":null}],"allowed":null,"allowedByPolicy":false,)"
              R"("portValues":{"tds":3389,"rdpTcp":3389},"service":{"state":")" +
                  GetParam().json +
                  R"(","pid":1234,"tcpPorts":[]}},"error":null,)"
                  R"("pendingChange":null})");
    EXPECT_EQ(toUtf8(textReport(report).out),
              toUtf8(L"当前远程端口：3389\r\n防火墙规则：TCP 不存在，UDP 不存在\r\n"
                     L"远程桌面连接：未知\r\n远程桌面服务（TermService）：" +
                     GetParam().text +
                     L"，进程 1234\r\n监听器 RDP-Tcp：端口 3389，已启用，安全层 未知，"
                     L"网络级别身份验证未知\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ServiceStateNames,
    ::testing::Values(StateRow{ServiceState::StartPending, "startPending", L"正在启动"},
                      StateRow{ServiceState::Paused, "paused", L"已暂停"},
                      StateRow{static_cast<ServiceState>(0), "unknown", L"未知"},
                      StateRow{static_cast<ServiceState>(8), "unknown", L"未知"}));

TEST(JsonReport, OfRefusedArguments) {
    EXPECT_EQ(jsonReport(usageReport(L"缺少端口")),
              "{\"schema\":1,\"version\":\"" VELKORA_VERSION_TEXT
              "\",\"command\":null,\"exitCode\":2,\"port\":null,\"oldPort\":null,"
              "\"newPort\":null,\"changed\":null,\"restart\":null,\"forced\":false,"
              "\"firewall\":null,\"check\":null,\"remoteDesktop\":null,"
              "\"error\":{\"number\":87,\"description\":\"\\u7f3a\\u5c11\\u7aef\\u53e3\"}}");
}

struct UnexpectedFailure {
    std::exception_ptr failure;
    std::string json;
    std::wstring err;
};

class Unexpected : public ::testing::TestWithParam<UnexpectedFailure> {};

// With the window's numbers and texts, and still one JSON object for --json.
TEST_P(Unexpected, FailuresEndWithOneAndTheirReport) {
    const Report report = unexpectedFailureReport(GetParam().failure);
    EXPECT_EQ(report.exitCode, 1);
    EXPECT_EQ(jsonReport(report), GetParam().json);
    EXPECT_EQ(toUtf8(textReport(report).out), "");
    EXPECT_EQ(toUtf8(textReport(report).err), toUtf8(GetParam().err));
}

const std::string unexpectedJson =
    R"({"schema":1,"version":")" VELKORA_VERSION_TEXT
    R"(","command":null,"exitCode":1,"port":null,"oldPort":null,"newPort":null,)"
    R"("changed":null,"restart":null,"forced":false,"firewall":null,"check":null,)"
    R"("remoteDesktop":null,"error":{"number":)";

INSTANTIATE_TEST_SUITE_P(
    Table, Unexpected,
    ::testing::Values(
        UnexpectedFailure{std::make_exception_ptr(std::bad_alloc()),
                          unexpectedJson + R"(7,"description":"\u5185\u5b58\u4e0d\u8db3"}})",
                          L"错误 7：内存不足\r\n"},
        UnexpectedFailure{std::make_exception_ptr(std::out_of_range("map::at")),
                          unexpectedJson + R"(51,"description":"\u5185\u90e8\u9519\u8bef"}})",
                          L"错误 51：内部错误\r\n"}));

TEST(ToUtf8, EncodesEveryPlaneAndReplacesLoneSurrogates) {
    EXPECT_EQ(toUtf8(L"a\u00E9\u670D"), "a\xC3\xA9\xE6\x9C\x8D");
    std::wstring emoji;
    if (sizeof(wchar_t) == 2) {
        emoji = {wchar_t(0xD83D), wchar_t(0xDE00)};
    } else {
        emoji = {wchar_t(0x1F600)};
    }
    EXPECT_EQ(toUtf8(emoji), "\xF0\x9F\x98\x80");
    EXPECT_EQ(toUtf8(std::wstring{wchar_t(0xD800), L'x'}), "\xEF\xBF\xBDx");
    EXPECT_EQ(toUtf8(std::wstring{wchar_t(0xDC00)}), "\xEF\xBF\xBD");
}

} // namespace
} // namespace velkora::test

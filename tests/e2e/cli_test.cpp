// velkora-cli.exe from end to end under Wine: its exit codes, its lines and JSON, the
// registry it leaves, the restart stand-in, and two changes at once.
#include "tests/e2e/held_port.h" // first: it brings <winsock2.h>, which comes before <windows.h>

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/cli_process.h"
#include "tests/common/registry_values.h"
#include "tests/e2e/e2e_environment.h"
#include "tests/kept_firewall/kept_firewall_prefix.h"
#include "velkora_version.h"

namespace velkora::test {
namespace {

const wchar_t* const terminalServerKey = L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server";
const std::vector<std::wstring> cliPorts{L"3389", L"3390", L"3391", L"3392", L"3393", L"3394"};

// The last line of a set that did its work: how to connect, by this computer's name.
std::string connectLine(int port) {
    char name[256] = "";
    DWORD size = sizeof name;
    GetComputerNameExA(ComputerNameDnsHostname, name, &size);
    return "连接方式：mstsc /v:" + std::string(name) + ":" + std::to_string(port) + "\r\n";
}

// The two rules a set stores for the port, every property as the firewall keeps it.
std::vector<kept_firewall::RuleFields> rulesOpening(int port) {
    std::vector<kept_firewall::RuleFields> rules;
    for (const auto& [protocol, name] : {std::pair{6u, L"TCP"}, std::pair{17u, L"UDP"}}) {
        kept_firewall::RuleFields rule;
        rule.texts[L"Name"] = L"远程桌面端口 " + std::to_wstring(port) + L" (" + name + L")";
        rule.texts[L"Description"] = L"由 Velkora工具 为远程桌面监听端口添加";
        rule.texts[L"Grouping"] = L"Velkora工具";
        rule.texts[L"ApplicationName"] = L"%SystemRoot%\\system32\\svchost.exe";
        rule.texts[L"ServiceName"] = L"termservice";
        rule.texts[L"LocalPorts"] = std::to_wstring(port);
        rule.texts[L"RemoteAddresses"] = L"*";
        rule.numbers[L"Protocol"] = protocol;
        rule.numbers[L"Direction"] = 1; // inbound
        rule.numbers[L"Action"] = 1;    // allow
        rule.numbers[L"Profiles"] = 0x7FFFFFFF;
        rule.numbers[L"Enabled"] = 1;
        rules.push_back(rule);
    }
    return rules;
}

// The rules as this tool made them before they were bound to Remote Desktop.
std::vector<kept_firewall::RuleFields> unboundRulesOpening(int port) {
    std::vector<kept_firewall::RuleFields> rules = rulesOpening(port);
    for (kept_firewall::RuleFields& rule : rules) {
        rule.texts[L"ApplicationName"].clear();
        rule.texts[L"ServiceName"].clear();
    }
    return rules;
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        seedListener(cliPorts);
        setDword(terminalServerKey, L"fDenyTSConnections", 0);
        clearRecords();
    }
};

TEST_F(CliTest, StatusInTextGivesThePortAndWhatItKnows) {
    const CliRun run = runCli(L"status");
    EXPECT_EQ(run.exitCode, 0u);
    // The test firewall holds no rule yet; Wine's TermService is a stopped one.
    EXPECT_EQ(run.out, "当前远程端口：3389\r\n"
                       "防火墙规则：TCP 不存在，UDP 不存在\r\n"
                       "远程桌面连接：允许\r\n"
                       "远程桌面服务（TermService）：已停止\r\n"
                       "监听器 RDP-Tcp：端口 3389，已启用，安全层 未知，网络级别身份验证未知\r\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(CliTest, StatusInJsonSaysWhenTheTwoValuesDiffer) {
    setDword(listenerRdpTcpKey, L"PortNumber", 3390);
    setDword(terminalServerKey, L"fDenyTSConnections", 1);
    const CliRun run = runCli(L"status --json");
    EXPECT_EQ(run.exitCode, 0u);
    const Json json = jsonOf(run);
    ASSERT_FALSE(json.is_discarded()) << run.out;
    EXPECT_EQ(json["schema"], 1);
    EXPECT_EQ(json["version"], VELKORA_VERSION_TEXT);
    EXPECT_EQ(json["command"], "status");
    EXPECT_EQ(json["exitCode"], 0);
    EXPECT_EQ(json["port"], 3390); // where Remote Desktop listens: the RDP-Tcp value
    EXPECT_EQ(json["remoteDesktop"]["portValues"], Json({{"tds", 3389}, {"rdpTcp", 3390}}));
    EXPECT_EQ(json["remoteDesktop"]["allowed"], false);
    EXPECT_EQ(json["remoteDesktop"]["service"]["state"], "stopped");
    EXPECT_EQ(json["firewall"], Json({{"available", true},
                                      {"tcp", "absent"},
                                      {"udp", "absent"},
                                      {"tcpRemoteAddresses", nullptr},
                                      {"udpRemoteAddresses", nullptr}}));
    EXPECT_TRUE(json["error"].is_null());
    EXPECT_EQ(run.err, "当前远程端口：3390\r\n"
                       "防火墙规则：TCP 不存在，UDP 不存在\r\n"
                       "远程桌面连接：禁止\r\n"
                       "远程桌面服务（TermService）：已停止\r\n"
                       "监听器 RDP-Tcp：端口 3390，已启用，安全层 未知，网络级别身份验证未知\r\n"
                       "警告：监听端口的两个值不一致：Tds\\tcp 为 3389，RDP-Tcp 为 3390。\r\n")
        << "with --json the human lines go to stderr";
}

TEST_F(CliTest, StatusWithoutThePortValueEndsWithOne) {
    deleteValue(listenerTdsKey, L"PortNumber");
    deleteValue(listenerRdpTcpKey, L"PortNumber");
    const CliRun run = runCli(L"status");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("无法读取当前远程端口。\r\n错误 2：", 0), 0u) << run.err;
}

// A change cut off while it held the lock (its thread ended without releasing it) between
// write 1 and write 2: the next set says so and builds on nothing until forced.
TEST_F(CliTest, AfterAnInterruptedChangeSetSaysSoAndRefusesDisagreeingValues) {
    win32::NamedMutexChangeLock keeper(win32::portChangeLockName, 0); // keeps the mutex alive
    keeper.acquire();
    keeper.release();
    std::thread([] {
        win32::NamedMutexChangeLock lock(win32::portChangeLockName, 0);
        lock.acquire();
    }).join();
    setDword(listenerTdsKey, L"PortNumber", 3390);

    const Json json = cliJson(L"set 3391", 1);
    EXPECT_EQ(json["interrupted"], true);
    EXPECT_EQ(json["error"]["number"], 13);
    EXPECT_EQ(readDword(listenerTdsKey, L"PortNumber"), 3390u);
    EXPECT_EQ(readDword(listenerRdpTcpKey, L"PortNumber"), 3389u);

    // The lock was released normally: the next set hears of no interruption.
    EXPECT_TRUE(cliJson(L"set 3391", 3010)["interrupted"].is_null());
}

// A second listener copied from RDP-Tcp, as a fallback on another port, read from the
// registry for real: status lists it, and its port is in use by it.
TEST_F(CliTest, ASecondListenerIsListedAndItsPortRefused) {
    const std::wstring fallback = std::wstring(terminalServerKey) + L"\\WinStations\\Fallback";
    setDword(fallback.c_str(), L"PortNumber", 3392);
    setDword(fallback.c_str(), L"UserAuthentication", 1);
    const Json status = cliJson(L"status");
    const Json check = cliJson(L"check 3392", 10);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, fallback.c_str());

    const Json listeners = status["remoteDesktop"]["listeners"];
    const auto named = [&](const std::string& name) {
        return std::find_if(listeners.begin(), listeners.end(),
                            [&](const Json& l) { return l["name"] == name; });
    };
    ASSERT_NE(named("Fallback"), listeners.end()) << listeners.dump();
    EXPECT_EQ((*named("Fallback"))["port"], 3392);
    EXPECT_EQ((*named("Fallback"))["nlaRequired"], true);
    ASSERT_NE(named("RDP-Tcp"), listeners.end());
    EXPECT_EQ((*named("RDP-Tcp"))["port"], 3389);
    EXPECT_EQ(check["check"]["listener"], "Fallback");
}

TEST_F(CliTest, CheckOfAFreePortIsZero) {
    const CliRun run = runCli(L"check 3390");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, "端口 3390 可用。\r\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(CliTest, CheckOfAHeldPortIsTenForTcpAndUdp) {
    for (int type : {SOCK_STREAM, SOCK_DGRAM}) {
        const HeldPort held(type);
        const CliRun run = runCli(L"check " + held.text() + L" --json");
        EXPECT_EQ(run.exitCode, 10u);
        const Json json = jsonOf(run);
        ASSERT_FALSE(json.is_discarded()) << run.out;
        EXPECT_EQ(json["check"]["result"], "inUse");
        ASSERT_EQ(json["check"]["owners"].size(), 1u);
        EXPECT_EQ(json["check"]["owners"][0]["protocol"], type == SOCK_STREAM ? "TCP" : "UDP");
        // Wine names no owner of a socket, so the warning cannot either.
        EXPECT_EQ(run.err, "端口 " + std::to_string(held.port()) +
                               " 已被 其他程序占用，远程桌面将无法在此端口监听。\r\n");
    }
}

TEST_F(CliTest, SetOfAHeldPortIsTenAndWritesNothingUnlessForced) {
    const HeldPort held(SOCK_STREAM);
    const ToolRegistryState before = toolRegistryState();
    CliRun run = runCli(L"set " + held.text());
    EXPECT_EQ(run.exitCode, 10u);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(toolRegistryState() == before) << "written although refused";

    run = runCli(L"set " + held.text() + L" --force");
    EXPECT_EQ(run.exitCode, 3010u);
    expectListenerAt(held.port());
    const std::wstring entry = held.text() + L":TCP ";
    deleteValue(standardOpenPortsKey, entry.c_str());
    deleteValue(domainOpenPortsKey, entry.c_str());
}

TEST_F(CliTest, SetWritesEverythingAndEndsWith3010ThenAgainWithZero) {
    CliRun run = runCli(L"set 3390 --json");
    EXPECT_EQ(run.exitCode, 3010u);
    Json json = jsonOf(run);
    ASSERT_FALSE(json.is_discarded()) << run.out;
    EXPECT_EQ(json["command"], "set");
    EXPECT_EQ(json["exitCode"], 3010);
    EXPECT_EQ(json["oldPort"], 3389);
    EXPECT_EQ(json["newPort"], 3390);
    EXPECT_EQ(json["port"], 3390);
    EXPECT_EQ(json["changed"], true);
    EXPECT_EQ(json["restart"], "required");
    EXPECT_EQ(json["check"]["result"], "free");
    EXPECT_EQ(json["firewall"], Json({{"available", true}, {"tcp", "added"}, {"udp", "added"}}));
    EXPECT_TRUE(json["error"].is_null());
    expectListenerAt(3390);
    expectOpenPortEntries(L"3390");
    EXPECT_EQ(KeptFirewall::rules(), rulesOpening(3390));

    const ToolRegistryState afterFirst = toolRegistryState();
    run = runCli(L"set 3390");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, "端口已是 3390，无需修改。\r\n" + connectLine(3390));
    EXPECT_TRUE(toolRegistryState() == afterFirst);
    EXPECT_EQ(KeptFirewall::rules(), rulesOpening(3390));

    json = cliJson(L"set 3390");
    EXPECT_EQ(json["changed"], false);
    EXPECT_EQ(json["exitCode"], 0);
    EXPECT_EQ(json["check"]["result"], "same");
    Sleep(300);
    EXPECT_TRUE(recordedCalls(L"shutdown").empty());
}

// Sets a key's DACL from SDDL text (the registry of a living wineserver enforces it).
bool setKeyDacl(const wchar_t* key, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return false;
    }
    HKEY opened = nullptr;
    LSTATUS status =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, WRITE_DAC | KEY_WOW64_64KEY, &opened);
    if (status == ERROR_SUCCESS) {
        status = RegSetKeySecurity(opened, DACL_SECURITY_INFORMATION, descriptor);
        RegCloseKey(opened);
    }
    LocalFree(descriptor);
    return status == ERROR_SUCCESS;
}

TEST_F(CliTest, ARefusedWriteEndsWithFiveAndPutsEverythingBack) {
    RegCloseKey([] {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, domainOpenPortsKey, 0, nullptr, 0, KEY_READ, nullptr,
                        &key, nullptr);
        return key;
    }());
    const ToolRegistryState before = toolRegistryState();
    ASSERT_TRUE(setKeyDacl(domainOpenPortsKey, L"D:P(D;;0x6;;;WD)(A;;KA;;;WD)"));
    const CliRun run = runCli(L"set 3390 --json");
    setKeyDacl(domainOpenPortsKey, L"D:(A;;KA;;;WD)");

    EXPECT_EQ(run.exitCode, 5u);
    const Json json = jsonOf(run);
    ASSERT_FALSE(json.is_discarded()) << run.out;
    EXPECT_EQ(json["changed"], false);
    EXPECT_EQ(json["error"]["number"], 5);
    EXPECT_EQ(run.err.rfind("错误 5：", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("请以管理员身份运行。\r\n未做任何修改。\r\n"), std::string::npos);
    EXPECT_TRUE(toolRegistryState() == before) << "a value was left changed";
}

// Outside a Remote Desktop session nothing is cut off: both rules take the addresses, and
// status shows them.
TEST_F(CliTest, SetAllowFromScopesBothRulesAndStatusShowsIt) {
    const std::wstring allowFrom = L"10.0.0.0/255.0.0.0,192.0.2.1-192.0.2.9,LocalSubnet";
    ASSERT_EQ(runCli(L"set 3390 --allow-from " + allowFrom).exitCode, 3010u);
    std::vector<kept_firewall::RuleFields> expected = rulesOpening(3390);
    for (kept_firewall::RuleFields& rule : expected) {
        rule.texts[L"RemoteAddresses"] = allowFrom;
    }
    EXPECT_EQ(KeptFirewall::rules(), expected);

    const Json firewall = cliJson(L"status")["firewall"];
    EXPECT_EQ(firewall["tcpRemoteAddresses"], "10.0.0.0/255.0.0.0,192.0.2.1-192.0.2.9,LocalSubnet");
    EXPECT_EQ(firewall["udpRemoteAddresses"], firewall["tcpRemoteAddresses"]);
}

TEST_F(CliTest, SetBindsOurUnboundRulesInPlace) {
    KeptFirewall::setRules(unboundRulesOpening(3390));
    EXPECT_EQ(cliJson(L"set 3390", 3010)["firewall"],
              Json({{"available", true}, {"tcp", "updated"}, {"udp", "updated"}}));
    EXPECT_EQ(KeptFirewall::rules(), rulesOpening(3390));
}

// The firewall refuses one call, each call of a set in turn, with a disabled unbound rule of
// ours for the port there before: a set refused ends with the error and leaves the registry and the
// rules as they were; a set that could do without the refused call (a read) is done whole.
TEST_F(CliTest, ASetRefusedAtAnyFirewallCallLeavesEverythingAsItWas) {
    std::vector<kept_firewall::RuleFields> rulesBefore = unboundRulesOpening(3390);
    rulesBefore[0].numbers[L"Enabled"] = 0;
    rulesBefore[0].texts[L"RemoteAddresses"] = L"10.0.0.0/255.0.0.0";
    rulesBefore.pop_back();
    std::vector<kept_firewall::RuleFields> rulesDone = rulesOpening(3390);
    rulesDone[0].texts[L"RemoteAddresses"] = L"10.0.0.0/255.0.0.0"; // an administrator's scope
    const ToolRegistryState before = toolRegistryState();
    DWORD refusedCall = 0;
    for (;; ++refusedCall) {
        ASSERT_LT(refusedCall, 100u) << "the set never got past the refusals";
        seedListener(cliPorts);
        KeptFirewall::setRules(rulesBefore);
        KeptFirewall::denyAfterCalls(refusedCall);
        const CliRun run = runCli(L"set 3390");
        if (KeptFirewall::denialPending()) {
            break; // the set made fewer calls than that
        }
        if (run.exitCode == 3010u) {
            EXPECT_EQ(KeptFirewall::rules(), rulesDone) << "refused at call " << refusedCall;
            continue;
        }
        EXPECT_EQ(run.exitCode, 5u) << "refused at call " << refusedCall;
        EXPECT_TRUE(toolRegistryState() == before) << "refused at call " << refusedCall;
        EXPECT_EQ(KeptFirewall::rules(), rulesBefore) << "refused at call " << refusedCall;
    }
    EXPECT_GT(refusedCall, 10u) << "too few firewall calls for a set";
    EXPECT_EQ(KeptFirewall::rules(), rulesDone);
    expectListenerAt(3390);
}

// With --close-old, a confirm closes exactly the old port's ways in: the tool's rules of it and
// its open-port entries go, Windows' enabled Remote Desktop rules of it are disabled, and every
// other rule stays as it was, property for property.
TEST_F(CliTest, ConfirmWithCloseOldClosesExactlyTheOldPort) {
    std::vector<kept_firewall::RuleFields> before = rulesOpening(3389);
    const auto windowsRule = [&](const wchar_t* name, const wchar_t* group, DWORD enabled,
                                 const wchar_t* port = L"3389") {
        kept_firewall::RuleFields rule = rulesOpening(3389)[0];
        rule.texts[L"Name"] = name;
        rule.texts[L"LocalPorts"] = port;
        rule.texts[L"Grouping"] = group;
        rule.texts[L"Description"] = L"";
        rule.numbers[L"Enabled"] = enabled;
        before.push_back(rule);
    };
    // Of two rules of one name, the one of the old port is disabled, not the first.
    windowsRule(L"远程桌面 - 用户模式(TCP-In)", L"@FirewallAPI.dll,-28752", 1, L"3391");
    windowsRule(L"远程桌面 - 用户模式(TCP-In)", L"@FirewallAPI.dll,-28752", 1);
    windowsRule(L"远程桌面 - 影子(TCP-In)", L"@FirewallAPI.dll,-28752", 0);
    windowsRule(L"Web 服务器", L"Web", 1);
    KeptFirewall::setRules(before);
    runCli(L"set 3389"); // the open-port entries of 3389
    expectOpenPortEntries(L"3389");

    const Json set =
        cliJson(L"set 3390 --restart computer --confirm-seconds 300 --close-old", 1641);
    EXPECT_EQ(set["confirmation"], "pending");
    EXPECT_EQ(cliJson(L"confirm")["closedRules"].size(), 3u);

    std::vector<kept_firewall::RuleFields> expected(before.begin() + 2, before.end());
    expected[1].numbers[L"Enabled"] = 0;
    for (const kept_firewall::RuleFields& rule : rulesOpening(3390)) {
        expected.push_back(rule);
    }
    EXPECT_EQ(KeptFirewall::rules(), expected);
    EXPECT_EQ(readString(standardOpenPortsKey, L"3389:TCP "), std::nullopt);
    EXPECT_EQ(readString(domainOpenPortsKey, L"3389:TCP "), std::nullopt);
    expectOpenPortEntries(L"3390");
    expectListenerAt(3390);
}

TEST_F(CliTest, RestartComputerEndsWith1641AndStartsTheRestart) {
    const CliRun run = runCli(L"set 3391 --restart computer");
    EXPECT_EQ(run.exitCode, 1641u);
    EXPECT_EQ(run.out, "端口修改成功，正在重启计算机。\r\n防火墙规则：TCP 已添加，UDP 已添加\r\n" +
                           connectLine(3391));
    const auto calls = waitForRecordedCalls(L"shutdown", 1, 15000);
    ASSERT_EQ(calls.size(), 1u) << "the restart command did not reach shutdown.exe";
    EXPECT_TRUE(calls[0] == L"-r -t 0");
    expectListenerAt(3391);
}

struct Usage {
    const char* name;
    const wchar_t* arguments;
    const char* why;
};

class CliUsageTest : public CliTest, public ::testing::WithParamInterface<Usage> {};

TEST_P(CliUsageTest, EndsWithTwoAndWritesNothing) {
    const ToolRegistryState before = toolRegistryState();
    const CliRun run = runCli(GetParam().arguments);
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind(GetParam().why, 0), 0u) << run.err;
    EXPECT_TRUE(toolRegistryState() == before);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CliUsageTest,
    ::testing::Values(Usage{"NoCommand", L"", "缺少命令\r\n用法：\r\n"},
                      Usage{"Unknown", L"frob", "未知的命令：frob\r\n用法：\r\n"},
                      Usage{"NoPort", L"set", "缺少端口\r\n用法：\r\n"},
                      Usage{"TwoPorts", L"set 3390 3391", "多余的参数：3391\r\n用法：\r\n"},
                      Usage{"BadRestart", L"set 3390 --restart later",
                            "--restart 只能是 none、computer 或 service\r\n用法：\r\n"},
                      Usage{"TooLarge", L"set 65536", "端口数字过大：端口最大值仅支持65535\r\n"},
                      Usage{"Letters", L"check 33a", "端口格式错误：端口只能由数字组成\r\n"},
                      Usage{"BadAllowFrom", L"set 3390 --allow-from 10.0.0.1,*",
                            "--allow-from 无效：“*”只能单独使用\r\n用法：\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTest, WhileAnotherChangeHoldsTheLockSetEndsWith1618AfterTenSeconds) {
    const ToolRegistryState before = toolRegistryState();
    HeldPortChangeLock lock;
    const CliRun run = runCli(L"set 3392 --json");
    EXPECT_EQ(run.exitCode, 1618u);
    EXPECT_GE(run.ms, 9500u);
    const Json json = jsonOf(run);
    EXPECT_EQ(json["error"]["number"], 1618);
    EXPECT_EQ(json["changed"], false);
    EXPECT_TRUE(toolRegistryState() == before);
}

TEST_F(CliTest, SetWaitsForALockThatIsReleasedInTime) {
    HeldPortChangeLock lock;
    CliProcess set(L"set 3392");
    Sleep(2000);
    EXPECT_EQ(readDword(listenerTdsKey, L"PortNumber"), 3389u) << "written while locked";
    lock.release();
    const CliRun run = set.finish();
    EXPECT_EQ(run.exitCode, 3010u);
    EXPECT_GE(run.ms, 1900u);
    expectListenerAt(3392);
}

// Four sets started while the lock is held write nothing until it is released; then they
// take it one after the other and both listener values end on one of their ports.
TEST_F(CliTest, SetsStartedTogetherWriteOnlyOnceTheLockIsFree) {
    const ToolRegistryState before = toolRegistryState();
    HeldPortChangeLock lock;
    std::vector<std::unique_ptr<CliProcess>> sets;
    for (const wchar_t* port : {L"3390", L"3391", L"3392", L"3393"}) {
        sets.push_back(std::make_unique<CliProcess>(std::wstring(L"set ") + port));
    }
    Sleep(2000);
    EXPECT_TRUE(toolRegistryState() == before) << "written while locked";
    lock.release();
    int done = 0;
    for (auto& set : sets) {
        const CliRun run = set->finish(60000);
        EXPECT_TRUE(run.exitCode == 3010u || run.exitCode == 1618u) << run.exitCode;
        done += run.exitCode == 3010u ? 1 : 0;
    }
    EXPECT_GE(done, 1);
    const auto tds = readDword(listenerTdsKey, L"PortNumber");
    ASSERT_TRUE(tds.has_value());
    expectListenerAt(*tds);
    EXPECT_TRUE(std::set<DWORD>({3390, 3391, 3392, 3393}).count(*tds));
}

// What a console shows in its first row, trailing blanks dropped.
std::wstring firstRowOf(HANDLE screen) {
    wchar_t row[120] = {};
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen, row, 120, COORD{0, 0}, &read);
    std::wstring text(row, read);
    text.erase(text.find_last_not_of(L' ') + 1);
    return text;
}

TEST_F(CliTest, ToAConsoleItWritesWideCharacters) {
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    const HANDLE screen =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ChildProcess check(velkoraCliExe(), L"check 3390");
    ASSERT_TRUE(check.started());
    check.waitForExit(30000);
    const DWORD exitCode = check.exitCode();
    const std::wstring row = firstRowOf(screen);
    CloseHandle(screen);
    FreeConsole();

    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(row == L"端口 3390 可用。") << "the console shows something else";
}

} // namespace
} // namespace velkora::test

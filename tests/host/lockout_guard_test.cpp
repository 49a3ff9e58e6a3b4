#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "logic/lockout_guard.h"
#include "logic/modify_command.h"
#include "tests/host/fakes.h"
#include "tests/host/registry_arrangements.h"
#include "tests/host/registry_paths.h"
#include "tests/common/test_helpers.h"

namespace velkora::test {
namespace {
using Result = PortCheckResult;
constexpr auto Tcp = PortProtocol::Tcp;
constexpr auto Udp = PortProtocol::Udp;

const std::wstring inUse = L"占用，远程桌面将无法在此端口监听。\r\n";
const std::wstring reserved = L" 位于系统保留的端口范围内，远程桌面可能无法在此端口监听。\r\n";
const std::wstring dynamic = L"该端口属于动态端口范围（49152-65535），"
                             L"系统从中为出站连接分配端口，保留范围也多在其中。\r\n";
const std::wstring ask = L"仍要修改吗？";
const PortHolder nginx{Tcp, false, 1234, L"nginx.exe", {}};

struct GuardCase {
    const char* label;
    long port;
    std::optional<long> current;
    int bindError;
    std::vector<PortHolder> holders;
    Result result;
    std::size_t owners;
    std::wstring text; // empty: no box
};

void PrintTo(const GuardCase& c, std::ostream* out) {
    *out << c.label;
}

class LockoutGuard : public ::testing::TestWithParam<GuardCase> {};

TEST_P(LockoutGuard, ClassifiesAndWordsTheWarning) {
    const GuardCase& c = GetParam();
    FakePortProbe probe;
    probe.bindErrors[c.port] = c.bindError;
    probe.holdersByPort[c.port] = c.holders;

    const PortCheck check = checkPortAvailability(probe, c.port, c.current);

    EXPECT_EQ(check.result, c.result);
    EXPECT_EQ(check.bindError, c.result == Result::Same ? 0 : c.bindError);
    EXPECT_EQ(check.owners.size(), c.owners);
    EXPECT_EQ(check.dynamicRange, c.port >= 49152);
    EXPECT_EQ(check.unknownError(), c.result == Result::Reserved && c.bindError != 10013);
    EXPECT_EQ(lockoutWarningText(check), c.text);
    EXPECT_EQ(probe.bound.size(), c.result == Result::Same ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LockoutGuard,
    ::testing::Values(
        GuardCase{"Free", 8080, 3389, 0, {}, Result::Free, 0, L""},
        GuardCase{"FreeDynamic", 65535, 3389, 0, {}, Result::Free, 0, L""},
        GuardCase{"HeldByTheListenerItself",
                  3390,
                  3389,
                  10048,
                  {{Tcp, false, 1100, L"svchost.exe", {L"termservice"}}},
                  Result::Free,
                  1,
                  L""},
        // A shared svchost: its other ports may be any co-hosted service's.
        GuardCase{"HeldByAProcessTheListenerShares",
                  3390,
                  3389,
                  10048,
                  {{Tcp, false, 1100, L"svchost.exe", {L"termservice", L"SessionEnv"}}},
                  Result::InUse,
                  1,
                  L"端口 3390 已被 svchost.exe（SessionEnv）（进程 1100）" + inUse + ask},
        GuardCase{"Same", 3389, 3389, 10048, {nginx}, Result::Same, 0, L""},
        GuardCase{"CurrentUnknown",
                  3389,
                  std::nullopt,
                  10048,
                  {nginx},
                  Result::InUse,
                  1,
                  L"端口 3389 已被 nginx.exe（进程 1234）" + inUse + ask},
        GuardCase{"InUseNamedOnBothFamilies",
                  8080,
                  3389,
                  10048,
                  {nginx, {Tcp, true, 1234, L"nginx.exe", {}}},
                  Result::InUse,
                  1,
                  L"端口 8080 已被 nginx.exe（进程 1234）" + inUse + ask},
        GuardCase{"InUseNoPid",
                  8080,
                  3389,
                  10048,
                  {{Tcp, false, 0, L"", {}}},
                  Result::InUse,
                  1,
                  L"端口 8080 已被 其他程序" + inUse + ask},
        GuardCase{"InUsePidWithoutImage",
                  1433,
                  3389,
                  10048,
                  {{Tcp, false, 2345, L"", {L"X"}}},
                  Result::InUse,
                  1,
                  L"端口 1433 已被 其他程序（进程 2345）" + inUse + ask},
        GuardCase{"InUseNamesTheNameableOwner",
                  1433,
                  3389,
                  10048,
                  {{Tcp, false, 0, L"", {}}, {Udp, true, 880, L"svchost.exe", {L"W3SVC", L"WAS"}}},
                  Result::InUse,
                  2,
                  L"端口 1433 已被 svchost.exe（W3SVC、WAS）（进程 880）" + inUse + ask},
        GuardCase{"InUseSystem",
                  80,
                  3389,
                  10013,
                  {{Tcp, false, 4, L"", {L"HTTP"}}},
                  Result::InUse,
                  1,
                  L"端口 80 已被 System（HTTP）（进程 4）" + inUse + ask},
        GuardCase{"InUseDynamic",
                  50000,
                  3389,
                  10048,
                  {{Udp, false, 0, L"", {}}},
                  Result::InUse,
                  1,
                  L"端口 50000 已被 其他程序" + inUse + dynamic + ask},
        GuardCase{
            "Reserved", 2869, 3389, 10013, {}, Result::Reserved, 0, L"端口 2869" + reserved + ask},
        GuardCase{"ReservedDynamic",
                  49152,
                  3389,
                  10013,
                  {},
                  Result::Reserved,
                  0,
                  L"端口 49152" + reserved + dynamic + ask},
        GuardCase{"UnknownError",
                  49151,
                  3389,
                  10048,
                  {},
                  Result::Reserved,
                  0,
                  L"端口 49151" + reserved + ask}),
    CaseLabel());

// Modify with 8080 held by nginx, the listener's value as given, and the warning answered.
struct ModifyCase {
    const char* label;
    StoredRegistryValue listenerValue;
    int reply;
    bool warned;
};

void PrintTo(const ModifyCase& c, std::ostream* out) {
    *out << c.label;
}

class ModifyHeldPort : public ::testing::TestWithParam<ModifyCase> {};

TEST_P(ModifyHeldPort, WarnsBeforeAnyWriteAndOnlyYesGoesOn) {
    const ModifyCase& c = GetParam();
    FakePlatform fake;
    arrange(fake.registry, Arrangement::Server);
    fake.registry.setValue(tdsPort, c.listenerValue);
    const auto before = fake.registry.contents();
    fake.ports.bindErrors[8080] = 10048;
    fake.ports.holdersByPort[8080] = {nginx};
    fake.messages.scriptReplies({c.reply, MessageBoxReply::No});
    FakeMainWindow window(L"08080");

    runModifyCommand(window, fake.platform);

    const bool goesOn = !c.warned || c.reply == MessageBoxReply::Yes;
    ASSERT_EQ(fake.messages.boxes().size(), (c.warned ? 1u : 0u) + (goesOn ? 1u : 0u));
    if (c.warned) {
        const auto& box = fake.messages.boxes()[0];
        EXPECT_EQ(box.prompt, L"端口 8080 已被 nginx.exe（进程 1234）" + inUse + ask);
        EXPECT_EQ(box.style, 4 | 48 | 256); // Yes/No, exclamation, No the default
        EXPECT_EQ(box.title, std::optional<std::wstring>(L"Velkora工具"));
    }
    EXPECT_EQ(fake.messages.boxes().back().prompt == confirmationPrompt, goesOn);
    EXPECT_EQ(fake.registry.writes().size(), goesOn ? 4u : 0u);
    EXPECT_EQ(fake.registry.value(tdsPort), goesOn ? dwordValue(8080) : c.listenerValue);
    if (!goesOn) {
        EXPECT_EQ(fake.registry.contents(), before);
        EXPECT_TRUE(fake.firewall.calls().empty());
    }
    EXPECT_EQ(window.text, L"08080");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModifyHeldPort,
    ::testing::Values(ModifyCase{"No", dwordValue(3389), MessageBoxReply::No, true},
                      ModifyCase{"Yes", dwordValue(3389), MessageBoxReply::Yes, true},
                      ModifyCase{"AlreadyTheListenersPort", dwordValue(8080), 0, false},
                      ModifyCase{"ListenerValueNotANumber", stringValue(L"8080"),
                                 MessageBoxReply::No, true}),
    CaseLabel());

} // namespace
} // namespace velkora::test

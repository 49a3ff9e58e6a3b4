#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "logic/lockout_guard.h"
#include "logic/modify_command.h"
#include "tests/host/fakes.h"
#include "tests/host/registry_arrangements.h"
#include "tests/host/registry_paths.h"

namespace velkora {
namespace {

using namespace testpaths;
using fakes::dwordValue;
using fakes::FakeForm;
using fakes::FakePlatform;
using fakes::FakePortProbe;

constexpr auto Tcp = PortProtocol::Tcp;
constexpr auto Udp = PortProtocol::Udp;

const std::wstring inUseTail = L"占用，远程桌面将无法在此端口监听。\r\n仍要修改吗？";
const std::wstring dynamicLine = L"该端口属于动态端口范围（49152-65535），"
                                 L"系统从中为出站连接分配端口，保留范围也多在其中。\r\n";

struct GuardCase {
    const char* label;
    long port;
    std::optional<long> current;
    int bindError;
    std::vector<PortHolder> holders;
    PortCheckResult result;
    std::size_t owners;
    std::wstring text; // empty: no box
};

class LockoutGuard : public ::testing::TestWithParam<GuardCase> {};

TEST_P(LockoutGuard, ClassifiesAndWordsTheWarning) {
    const GuardCase& c = GetParam();
    FakePortProbe probe;
    probe.bindErrors[c.port] = c.bindError;
    probe.holdersByPort[c.port] = c.holders;

    const PortCheck check = checkPortAvailability(probe, c.port, c.current);

    EXPECT_EQ(check.result, c.result);
    EXPECT_EQ(check.port, c.port);
    EXPECT_EQ(check.bindError, c.result == PortCheckResult::Same ? 0 : c.bindError);
    EXPECT_EQ(check.owners.size(), c.owners);
    EXPECT_EQ(check.dynamicRange, c.port >= 49152);
    EXPECT_EQ(check.unknownError(), c.result == PortCheckResult::Reserved && c.bindError != 10013);
    EXPECT_EQ(lockoutWarningText(check), c.text);
    EXPECT_EQ(probe.bound.size(), c.result == PortCheckResult::Same ? 0u : 1u);

    for (int reply : {MessageBoxReply::Yes, MessageBoxReply::No}) {
        fakes::FakeMessageBoxService messages;
        messages.defaultReply = reply;
        const bool goOn = confirmLockoutRisk(check, messages);
        if (c.text.empty()) {
            EXPECT_TRUE(goOn);
            EXPECT_TRUE(messages.boxes().empty());
            continue;
        }
        EXPECT_EQ(goOn, reply == MessageBoxReply::Yes);
        ASSERT_EQ(messages.boxes().size(), 1u);
        EXPECT_EQ(messages.boxes()[0].prompt, c.text);
        EXPECT_EQ(messages.boxes()[0].style, 308);
        EXPECT_EQ(messages.boxes()[0].title, std::optional<std::wstring>(L"Velkora工具"));
    }
}

const PortHolder nginx{Tcp, false, 1234, L"nginx.exe", {}};

INSTANTIATE_TEST_SUITE_P(
    Cases, LockoutGuard,
    ::testing::Values(
        GuardCase{"Free", 8080, 3389, 0, {}, PortCheckResult::Free, 0, L""},
        GuardCase{"FreeDynamic", 65535, 3389, 0, {}, PortCheckResult::Free, 0, L""},
        GuardCase{"Same", 3389, 3389, 10048, {nginx}, PortCheckResult::Same, 0, L""},
        GuardCase{"CurrentUnknown",
                  3389,
                  std::nullopt,
                  10048,
                  {nginx},
                  PortCheckResult::InUse,
                  1,
                  L"端口 3389 已被 nginx.exe（进程 1234）" + inUseTail},
        GuardCase{"InUseNamed",
                  8080,
                  3389,
                  10048,
                  {nginx, {Tcp, true, 1234, L"nginx.exe", {}}},
                  PortCheckResult::InUse,
                  1,
                  L"端口 8080 已被 nginx.exe（进程 1234）" + inUseTail},
        GuardCase{"InUseNoPid",
                  8080,
                  3389,
                  10048,
                  {{Tcp, false, 0, L"", {}}},
                  PortCheckResult::InUse,
                  1,
                  L"端口 8080 已被 其他程序" + inUseTail},
        GuardCase{"InUsePidWithoutImage",
                  1433,
                  3389,
                  10048,
                  {{Tcp, false, 2345, L"", {}}},
                  PortCheckResult::InUse,
                  1,
                  L"端口 1433 已被 其他程序（进程 2345）" + inUseTail},
        GuardCase{"InUseNamesTheNameableOwner",
                  1433,
                  3389,
                  10048,
                  {{Tcp, false, 0, L"", {}}, {Udp, true, 880, L"svchost.exe", {L"W3SVC", L"WAS"}}},
                  PortCheckResult::InUse,
                  2,
                  L"端口 1433 已被 svchost.exe（W3SVC、WAS）（进程 880）" + inUseTail},
        GuardCase{"InUseSystem",
                  80,
                  3389,
                  10013,
                  {{Tcp, false, 4, L"", {}}},
                  PortCheckResult::InUse,
                  1,
                  L"端口 80 已被 System（进程 4）" + inUseTail},
        GuardCase{"InUseDynamic",
                  50000,
                  3389,
                  10048,
                  {{Udp, false, 0, L"", {}}},
                  PortCheckResult::InUse,
                  1,
                  L"端口 50000 已被 其他程序占用，远程桌面将无法在此端口监听。\r\n" + dynamicLine +
                      L"仍要修改吗？"},
        GuardCase{"Reserved",
                  2869,
                  3389,
                  10013,
                  {},
                  PortCheckResult::Reserved,
                  0,
                  L"端口 2869 位于系统保留的端口范围内，远程桌面可能无法在此端口监听。\r\n"
                  L"仍要修改吗？"},
        GuardCase{"ReservedDynamic",
                  49152,
                  3389,
                  10013,
                  {},
                  PortCheckResult::Reserved,
                  0,
                  L"端口 49152 位于系统保留的端口范围内，远程桌面可能无法在此端口监听。\r\n" +
                      dynamicLine + L"仍要修改吗？"},
        GuardCase{"UnknownError",
                  49151,
                  3389,
                  10048,
                  {},
                  PortCheckResult::Reserved,
                  0,
                  L"端口 49151 位于系统保留的端口范围内，远程桌面可能无法在此端口监听。\r\n"
                  L"仍要修改吗？"}),
    [](const ::testing::TestParamInfo<GuardCase>& info) { return info.param.label; });

TEST(LockoutGuardNames, ResultsProtocolsAndOwners) {
    EXPECT_STREQ(portCheckResultName(PortCheckResult::Free), "free");
    EXPECT_STREQ(portCheckResultName(PortCheckResult::InUse), "inUse");
    EXPECT_STREQ(portCheckResultName(PortCheckResult::Reserved), "reserved");
    EXPECT_STREQ(portCheckResultName(PortCheckResult::Same), "same");
    EXPECT_STREQ(portProtocolName(Tcp), "TCP");
    EXPECT_STREQ(portProtocolName(Udp), "UDP");
    EXPECT_EQ(ownerDisplayName({Udp, 4, L"ntoskrnl.exe", {L"HTTP"}}), L"System（HTTP）");
    EXPECT_EQ(ownerDisplayName({Tcp, 77, L"", {L"W3SVC"}}), L"其他程序");
}

// A port held by another program, before the Modify command writes it.
struct HeldPortModify : ::testing::Test {
    FakePlatform fake;
    FakeForm form{L"08080"};

    void SetUp() override {
        arrange(fake.registry, Arrangement::Server);
        fake.ports.bindErrors[8080] = 10048;
        fake.ports.holdersByPort[8080] = {nginx};
    }
};

TEST_F(HeldPortModify, NoWritesNothingAndKeepsTheField) {
    const auto before = fake.registry.contents();
    fake.messages.scriptReplies({MessageBoxReply::No});

    runModifyCommand(form, fake.platform);

    ASSERT_EQ(fake.messages.boxes().size(), 1u);
    EXPECT_EQ(fake.messages.boxes()[0].prompt,
              L"端口 8080 已被 nginx.exe（进程 1234）" + inUseTail);
    EXPECT_EQ(fake.registry.contents(), before);
    EXPECT_TRUE(fake.registry.writes().empty());
    EXPECT_TRUE(fake.firewall.calls().empty());
    EXPECT_TRUE(fake.launcher.launches().empty());
    EXPECT_EQ(fake.shell.alive(), 0);
    EXPECT_EQ(form.text, L"08080");
}

TEST_F(HeldPortModify, YesWritesAsUsualAndConfirms) {
    fake.messages.scriptReplies({MessageBoxReply::Yes, MessageBoxReply::No});

    runModifyCommand(form, fake.platform);

    ASSERT_EQ(fake.messages.boxes().size(), 2u);
    EXPECT_EQ(fake.messages.boxes()[0].style, 308);
    EXPECT_EQ(fake.messages.boxes()[1].prompt, confirmationPrompt);
    EXPECT_EQ(fake.registry.writes().size(), 4u);
    EXPECT_EQ(fake.registry.value(tdsPort), dwordValue(8080));
    EXPECT_EQ(fake.firewall.rules.size(), 2u);
}

TEST_F(HeldPortModify, TheCurrentPortIsNotProbed) {
    fake.registry.setValue(tdsPort, dwordValue(8080));
    fake.messages.defaultReply = MessageBoxReply::No;

    runModifyCommand(form, fake.platform);

    EXPECT_TRUE(fake.ports.bound.empty());
    ASSERT_EQ(fake.messages.boxes().size(), 1u);
    EXPECT_EQ(fake.messages.boxes()[0].prompt, confirmationPrompt);
    EXPECT_EQ(fake.registry.writes().size(), 4u);
}

TEST_F(HeldPortModify, AnUnreadableCurrentPortStillChecks) {
    fake.registry.setValue(tdsPort, fakes::stringValue(L"8080"));
    fake.messages.defaultReply = MessageBoxReply::No;

    runModifyCommand(form, fake.platform);

    EXPECT_EQ(fake.ports.bound, std::vector<long>{8080});
    ASSERT_EQ(fake.messages.boxes().size(), 1u);
    EXPECT_EQ(fake.messages.boxes()[0].style, 308);
    EXPECT_TRUE(fake.registry.writes().empty());
}

} // namespace
} // namespace velkora

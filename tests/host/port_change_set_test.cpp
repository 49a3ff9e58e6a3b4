#include <gtest/gtest.h>

#include <new>
#include <string>
#include <tuple>

#include "logic/port_change.h"
#include "logic/port_change_set.h"
#include "logic/undo.h"
#include "tests/host/fakes.h"
#include "tests/host/registry_arrangements.h"
#include "tests/host/registry_paths.h"
#include "tests/common/test_helpers.h"

namespace velkora::test {
namespace {

const PlatformError accessDenied(5, L"拒绝访问。");

// The four writes, from what the registry holds just before.
void applyTo(Registry& registry, const PortChangeSet& set) {
    applyPortChangeSet(registry, set, captureValues(registry, set));
}
const PlatformError restoreRefused(1018, L"试图在标记为删除的注册表项中进行非法操作。");

class BuildPortChangeSet : public ::testing::TestWithParam<std::wstring> {};

TEST_P(BuildPortChangeSet, UsesTheTextAsTypedInTheEntriesAndItsNumberInTheListenerValues) {
    const std::wstring p = GetParam();
    const PortChangeSet expected{{
        {tdsPort, static_cast<std::uint32_t>(std::stoul(p))},
        {rdpTcpPort, static_cast<std::uint32_t>(std::stoul(p))},
        {standardList + L"\\" + p + L":TCP ", p + L":TCP:*:Enabled:" + p},
        {domainList + L"\\" + p + L":TCP ", p + L":TCP:*:Enabled:" + p},
    }};
    EXPECT_EQ(buildPortChangeSet(p), expected);
}

INSTANTIATE_TEST_SUITE_P(PortTexts, BuildPortChangeSet,
                         ::testing::Values(L"888", L"080", L"0", L"1", L"65535", L"3389"),
                         [](const ::testing::TestParamInfo<std::wstring>& info) {
                             return "Text" + std::string(info.param.begin(), info.param.end());
                         });

TEST(BuildPortChangeSetFor888, NamesTheFirewallValueWithItsTrailingSpace) {
    const PortChangeSet set = buildPortChangeSet(L"888");
    for (int i : {2, 3}) {
        const std::wstring& path = set[i].path;
        const std::wstring name = path.substr(path.rfind(L'\\') + 1);
        EXPECT_EQ(name, L"888:TCP ");
        EXPECT_EQ(name.size(), 8u);
        EXPECT_EQ(set[i].data, RegistryValue(L"888:TCP:*:Enabled:888"));
    }
    EXPECT_EQ(set[0].data, RegistryValue(888u));
    EXPECT_NE(set[2].path, set[3].path);
}

TEST(ApplyPortChangeSet, CapturesAllFourValuesThenWritesInOrder) {
    FakeRegistry registry;
    arrange(registry, Arrangement::Server);
    const PortChangeSet set = buildPortChangeSet(L"888");

    applyTo(registry, set);

    std::vector<std::wstring> expectedCalls;
    for (const auto& write : set) {
        expectedCalls.push_back(L"capture " + write.path);
    }
    for (const auto& write : set) {
        expectedCalls.push_back(L"write " + write.path);
    }
    EXPECT_EQ(registry.calls(), expectedCalls);
    ASSERT_EQ(registry.writes().size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(registry.writes()[i].data, set[i].data);
    }
}

// Both listener values hold the number; both lists hold the record under "P:TCP ".
void expectChangeStored(const FakeRegistry& registry, const std::wstring& port,
                        std::uint32_t number) {
    const std::wstring name = L"\\" + port + L":TCP ";
    const std::wstring record = port + L":TCP:*:Enabled:" + port;
    EXPECT_EQ(registry.value(tdsPort), dwordValue(number));
    EXPECT_EQ(registry.value(rdpTcpPort), dwordValue(number));
    EXPECT_EQ(registry.value(standardList + name), stringValue(record));
    EXPECT_EQ(registry.value(domainList + name), stringValue(record));
}

// A registry so arranged, after the change to the port text has been applied to it.
FakeRegistry changed(Arrangement arrangement, const std::wstring& portText) {
    FakeRegistry registry;
    arrange(registry, arrangement);
    applyTo(registry, buildPortChangeSet(portText));
    return registry;
}

TEST(ApplyPortChangeSet, Stores888AsNumbersAndFirewallRecords) {
    const FakeRegistry registry = changed(Arrangement::Server, L"888");

    expectChangeStored(registry, L"888", 888);
    // Old entries stay, and nothing is written under the name without the space.
    EXPECT_EQ(registry.value(standardList + L"\\3389:TCP "),
              stringValue(L"3389:TCP:*:Enabled:3389"));
    EXPECT_FALSE(registry.value(standardList + L"\\888:TCP"));
}

TEST(ApplyPortChangeSet, KeepsLeadingZerosInNamesButStoresTheNumber) {
    const FakeRegistry registry = changed(Arrangement::Bare, L"080");

    expectChangeStored(registry, L"080", 80);
    EXPECT_FALSE(registry.value(standardList + L"\\80:TCP "));
}

TEST(ApplyPortChangeSet, TheSamePortTwiceOverwritesTheSameFourValues) {
    FakeRegistry registry;
    arrange(registry, Arrangement::Server);
    applyTo(registry, buildPortChangeSet(L"888"));
    const auto afterFirst = registry.contents();

    applyTo(registry, buildPortChangeSet(L"888"));

    EXPECT_EQ(registry.contents(), afterFirst);
    EXPECT_EQ(registry.writes().size(), 8u);
}

class FailedWrite : public ::testing::TestWithParam<std::tuple<int, Arrangement>> {};

TEST_P(FailedWrite, LeavesTheRegistryExactlyAsBeforeAndRaisesTheOriginalError) {
    const auto [position, arrangement] = GetParam();
    FakeRegistry registry;
    arrange(registry, arrangement);
    const auto before = registry.contents();
    registry.failWrite(position, accessDenied);
    const PortChangeSet set = buildPortChangeSet(L"888");

    const PlatformError error = thrownBy([&] { applyTo(registry, set); });
    EXPECT_EQ(error.number(), 5);
    EXPECT_EQ(error.description(), L"拒绝访问。");

    EXPECT_EQ(registry.contents(), before);
    EXPECT_EQ(registry.writes().size(), static_cast<std::size_t>(position))
        << "no write after the failing one";
    std::vector<std::wstring> restores;
    for (const auto& call : registry.calls()) {
        if (call.rfind(L"restore ", 0) == 0) {
            restores.push_back(call);
        }
    }
    // Only the writes that succeeded are undone: the refused one changed nothing.
    ASSERT_EQ(restores.size(), static_cast<std::size_t>(position - 1));
    for (int i = 0; i < position - 1; ++i) {
        EXPECT_EQ(restores[i], L"restore " + set[position - 2 - i].path) << "newest first";
    }
}

INSTANTIATE_TEST_SUITE_P(EachPosition, FailedWrite, eachWritePositionOnEachArrangement(),
                         positionAndArrangementName);

TEST(FailedWriteWithFailedRestore, ReportsBothAndStillTriesEveryRestore) {
    FakeRegistry registry;
    arrange(registry, Arrangement::Server);
    registry.failWrite(3, accessDenied);
    registry.failRestores(restoreRefused);

    const PlatformError error = thrownBy([&] { applyTo(registry, buildPortChangeSet(L"888")); });
    EXPECT_EQ(error.number(), 5);
    EXPECT_EQ(error.description(), L"拒绝访问。\r\n恢复原值失败（错误 1018）："
                                   L"试图在标记为删除的注册表项中进行非法操作。");
    int restores = 0;
    for (const auto& call : registry.calls()) {
        restores += call.rfind(L"restore ", 0) == 0;
    }
    EXPECT_EQ(restores, 2);
}

TEST(FailedCapture, WritesNothing) {
    FakeRegistry registry;
    arrange(registry, Arrangement::Server);
    const auto before = registry.contents();
    registry.failCaptures(accessDenied);

    EXPECT_THROW(applyTo(registry, buildPortChangeSet(L"888")), PlatformError);
    EXPECT_TRUE(registry.writes().empty());
    EXPECT_EQ(registry.contents(), before);
}

class UndoAfterSuccess : public ::testing::TestWithParam<Arrangement> {};

TEST_P(UndoAfterSuccess, PutsEveryValueAndKeyBack) {
    FakePlatform fake;
    arrange(fake.registry, GetParam());
    const auto before = fake.registry.contents();
    const HeldChangeLock held(fake.changeLock);
    PortChange change(fake.platform, L"888");
    change.apply(WhenInPlace::Rewrite);
    ASSERT_NE(fake.registry.contents(), before);

    change.putBack();

    EXPECT_EQ(fake.registry.contents(), before);
}

INSTANTIATE_TEST_SUITE_P(Arrangements, UndoAfterSuccess,
                         ::testing::Values(Arrangement::Server, Arrangement::Bare),
                         [](const ::testing::TestParamInfo<Arrangement>& info) {
                             return arrangementName(info.param);
                         });

TEST(UndoRollback, TriesAllFourAndRaisesTheFirstFailure) {
    FakePlatform fake;
    arrange(fake.registry, Arrangement::Server);
    const HeldChangeLock held(fake.changeLock);
    PortChange change(fake.platform, L"888");
    change.apply(WhenInPlace::Rewrite);
    fake.registry.failRestores(restoreRefused);

    const PlatformError error = thrownBy([&] { change.putBack(); });
    EXPECT_EQ(error.number(), 1018);
    int restores = 0;
    for (const auto& call : fake.registry.calls()) {
        restores += call.rfind(L"restore ", 0) == 0;
    }
    EXPECT_EQ(restores, 4);
}

TEST(CombineWithRollbackFailure, KeepsTheOriginalNumberAndAddsALineAboutTheRestore) {
    const PlatformError combined = combineWithRollbackFailure(
        PlatformError(2, L"系统找不到指定的文件。"), PlatformError(-2147024891, L"拒绝访问。"));
    EXPECT_EQ(combined.number(), 2);
    EXPECT_EQ(combined.description(),
              L"系统找不到指定的文件。\r\n恢复原值失败（错误 0x80070005）：拒绝访问。");
    EXPECT_TRUE(combined.changeLeftBehind());
    EXPECT_FALSE(PlatformError(2, L"").changeLeftBehind());
}

// Whatever a step raises, the undo runs before it travels on; a failed undo is said.
TEST(UndoOnFailure, UndoesOnAnyErrorAndSaysWhenUndoingFailed) {
    int undone = 0;
    EXPECT_THROW(undoOnFailure([]() -> int { throw std::bad_alloc(); }, [&] { ++undone; }),
                 std::bad_alloc);
    EXPECT_EQ(undone, 1);

    const PlatformError failure = thrownBy(
        [] { undoOnFailure([]() -> int { throw std::bad_alloc(); }, [] { throw accessDenied; }); });
    EXPECT_EQ(failure.number(), 51);
    EXPECT_EQ(failure.description(), L"内部错误\r\n恢复原值失败（错误 5）：拒绝访问。");
    EXPECT_TRUE(failure.changeLeftBehind());

    EXPECT_EQ(undoOnFailure([] { return 7; }, [&] { ++undone; }), 7);
    EXPECT_EQ(undone, 1);
}

} // namespace
} // namespace velkora::test

#include <gtest/gtest.h>

#include <string>

#include "tests/common/dword_text_cases.h"
#include "tests/host/fakes.h"
#include "tests/common/test_helpers.h"

// The rollback tests are only as good as the fake registry they run on, so its rules are
// checked here against what the real shell object does (the DWORD table runs against the
// real one too, in the Windows tree).

namespace velkora::test {
namespace {

const std::wstring base = L"HKEY_CURRENT_USER\\Software\\VelkoraTest";

class FakeRegistryDword : public ::testing::TestWithParam<DwordTextCase> {};

TEST_P(FakeRegistryDword, ParsesLikeTheRealService) {
    FakeRegistry registry;
    const std::wstring path = base + L"\\PortNumber";
    if (GetParam().stored) {
        registry.regwrite(path, GetParam().data, L"REG_DWORD");
        EXPECT_EQ(registry.value(path), dwordValue(*GetParam().stored));
        EXPECT_EQ(registry.regread(path), RegistryValue(*GetParam().stored));
    } else {
        const PlatformError error =
            thrownBy([&] { registry.regwrite(path, GetParam().data, L"REG_DWORD"); });
        EXPECT_EQ(error.number(), 13);
        EXPECT_FALSE(registry.value(path));
        EXPECT_FALSE(registry.keyExists(base)) << "a refused write creates nothing";
    }
}

INSTANTIATE_TEST_SUITE_P(Data, FakeRegistryDword, ::testing::ValuesIn(dwordTextCases), CaseLabel());

TEST(FakeRegistry, KeepsValueNamesExactlyAndComparesThemWithoutCase) {
    FakeRegistry registry;
    registry.regwrite(base + L"\\888:TCP ", L"888:TCP:*:Enabled:888", L"REG_SZ");
    EXPECT_EQ(registry.value(base + L"\\888:tcp "), stringValue(L"888:TCP:*:Enabled:888"));
    EXPECT_FALSE(registry.value(base + L"\\888:TCP"));
    EXPECT_EQ(registry.regread(L"HKCU\\SOFTWARE\\velkoratest\\888:TCP "),
              RegistryValue(std::wstring(L"888:TCP:*:Enabled:888")));
}

TEST(FakeRegistry, CaptureCountsMissingTrailingKeysAndRestoreRemovesThem) {
    FakeRegistry registry;
    registry.createKey(base);
    const auto before = registry.contents();
    const std::wstring path = base + L"\\A\\B\\Value";

    const RegistryValueState state = registry.capture(path);
    EXPECT_EQ(state.missingKeys, 2);
    EXPECT_FALSE(state.value);

    registry.regwrite(path, L"x", L"REG_SZ");
    EXPECT_TRUE(registry.keyExists(base + L"\\A\\B"));
    registry.restore(path, state);
    EXPECT_EQ(registry.contents(), before);
}

TEST(FakeRegistry, RestoreKeepsACreatedKeyThatGainedOtherContent) {
    FakeRegistry registry;
    const std::wstring path = base + L"\\A\\Value";
    const RegistryValueState state = registry.capture(path);
    registry.regwrite(path, L"x", L"REG_SZ");
    registry.regwrite(base + L"\\A\\Other", L"y", L"REG_SZ");

    registry.restore(path, state);

    EXPECT_FALSE(registry.value(path));
    EXPECT_TRUE(registry.value(base + L"\\A\\Other"));
}

TEST(FakeRegistry, RestorePutsBackTypeAndBytes) {
    FakeRegistry registry;
    const std::wstring path = base + L"\\Value";
    const StoredRegistryValue odd{regBinary, {0xDE, 0xAD}};
    registry.setValue(path, odd);
    const RegistryValueState state = registry.capture(path);
    registry.regwrite(path, L" 7 ", L"REG_DWORD");

    registry.restore(path, state);

    EXPECT_EQ(registry.value(path), odd);
}

TEST(FakeRegistry, RefusedWriteChangesNothingAndItsPathStaysRefused) {
    FakeRegistry registry;
    const auto before = registry.contents();
    const std::wstring path = base + L"\\A\\Value";
    const RegistryValueState state = registry.capture(path);
    registry.failRegwrite(1, PlatformError(5, L"拒绝访问。"));

    EXPECT_THROW(registry.regwrite(path, L"x", L"REG_SZ"), PlatformError);
    EXPECT_EQ(registry.contents(), before) << "no key left behind";
    EXPECT_THROW(registry.restore(path, state), PlatformError);
    EXPECT_THROW(registry.regwrite(path, L"y", L"REG_SZ"), PlatformError);
    registry.regwrite(base + L"\\A\\Other", L"z", L"REG_SZ");
    EXPECT_TRUE(registry.value(base + L"\\A\\Other"));
}

TEST(FakeRegistry, StringsRoundTripThroughUtf16Bytes) {
    FakeRegistry registry;
    const std::wstring text = L"端口 888：\U0001F600";
    registry.regwrite(base + L"\\S", text, L"REG_SZ");
    EXPECT_EQ(registry.regread(base + L"\\S"), RegistryValue(text));
    EXPECT_EQ(registry.value(base + L"\\S")->bytes.size(),
              (sizeof(wchar_t) == 2 ? text.size() + 1 : text.size() + 2) * 2);
}

TEST(FakeShellObjectFactory, CreatesOnlyTheShellAndCountsReleases) {
    FakeRegistry registry;
    FakeShellObjectFactory factory(registry);
    EXPECT_THROW(factory.create(L"scripting.filesystemobject"), PlatformError);
    {
        const auto shell = factory.create(L"WScript.Shell");
        EXPECT_EQ(factory.alive(), 1);
    }
    EXPECT_EQ(factory.created(), 1);
    EXPECT_EQ(factory.alive(), 0);
}

} // namespace
} // namespace velkora::test

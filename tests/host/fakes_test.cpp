#include <gtest/gtest.h>

#include <string>

#include "tests/host/fakes.h"
#include "tests/common/test_helpers.h"

// The rollback tests are only as good as the fake registry they run on, so its rules are
// checked here against what the real registry service does.

namespace velkora::test {
namespace {

const std::wstring base = L"HKEY_CURRENT_USER\\Software\\VelkoraTest";

TEST(FakeRegistry, KeepsValueNamesExactlyAndComparesThemWithoutCase) {
    FakeRegistry registry;
    registry.write(base + L"\\888:TCP ", std::wstring(L"888:TCP:*:Enabled:888"));
    EXPECT_EQ(registry.value(base + L"\\888:tcp "), stringValue(L"888:TCP:*:Enabled:888"));
    EXPECT_FALSE(registry.value(base + L"\\888:TCP"));
    EXPECT_EQ(registry.read(L"HKCU\\SOFTWARE\\velkoratest\\888:TCP "),
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

    registry.write(path, std::wstring(L"x"));
    EXPECT_TRUE(registry.keyExists(base + L"\\A\\B"));
    registry.restore(path, state);
    EXPECT_EQ(registry.contents(), before);
}

TEST(FakeRegistry, RestoreKeepsACreatedKeyThatGainedOtherContent) {
    FakeRegistry registry;
    const std::wstring path = base + L"\\A\\Value";
    const RegistryValueState state = registry.capture(path);
    registry.write(path, std::wstring(L"x"));
    registry.write(base + L"\\A\\Other", std::wstring(L"y"));

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
    registry.write(path, std::uint32_t{7});

    registry.restore(path, state);

    EXPECT_EQ(registry.value(path), odd);
}

TEST(FakeRegistry, RefusedWriteChangesNothingAndItsPathStaysRefused) {
    FakeRegistry registry;
    const auto before = registry.contents();
    const std::wstring path = base + L"\\A\\Value";
    const RegistryValueState state = registry.capture(path);
    registry.failWrite(1, PlatformError(5, L"拒绝访问。"));

    EXPECT_THROW(registry.write(path, std::wstring(L"x")), PlatformError);
    EXPECT_EQ(registry.contents(), before) << "no key left behind";
    EXPECT_THROW(registry.restore(path, state), PlatformError);
    EXPECT_THROW(registry.write(path, std::wstring(L"y")), PlatformError);
    registry.write(base + L"\\A\\Other", std::wstring(L"z"));
    EXPECT_TRUE(registry.value(base + L"\\A\\Other"));
}

TEST(FakeRegistry, StringsRoundTripThroughUtf16Bytes) {
    FakeRegistry registry;
    const std::wstring text = L"端口 888：\U0001F600";
    registry.write(base + L"\\S", std::wstring(text));
    EXPECT_EQ(registry.read(base + L"\\S"), RegistryValue(text));
    EXPECT_EQ(registry.value(base + L"\\S")->bytes.size(),
              (sizeof(wchar_t) == 2 ? text.size() + 1 : text.size() + 2) * 2);
}

} // namespace
} // namespace velkora::test

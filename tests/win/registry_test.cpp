#include <gtest/gtest.h>

#include <algorithm>

#include "platform/win32/registry/system_registry.h"
#include "tests/win/test_support.h"
#include "tests/common/test_helpers.h"

namespace velkora::test {
namespace {

class RegistryTest : public ::testing::Test {
protected:
    Registry& registry = win32::systemRegistry();
    test::ThrowawayKey key;

    std::optional<RawValue> raw(const std::wstring& subPath, const std::wstring& name) {
        return test::readRawValue(HKEY_CURRENT_USER, key.subKey() + subPath, name);
    }
};

TEST_F(RegistryTest, NumbersAreStoredAsDword) {
    for (const DWORD number : {DWORD{888}, DWORD{80}, DWORD{0}, DWORD{65535}, DWORD{4294967295u}}) {
        registry.write(key.path(L"Port"), std::uint32_t{number});
        EXPECT_EQ(raw(L"", L"Port"), (RawValue{REG_DWORD, bytesOf(number)})) << number;
        EXPECT_EQ(registry.read(key.path(L"Port")), RegistryValue(std::uint32_t{number}));
    }
}

TEST_F(RegistryTest, ValueNameAfterTheLastBackslashIsKeptExactly) {
    registry.write(key.path(L"List\\888:TCP "), std::wstring(L"888:TCP:*:Enabled:888"));
    registry.write(key.path(L"List\\ lead and trail  "), std::wstring(L"x"));

    std::vector<std::wstring> names = test::valueNames(HKEY_CURRENT_USER, key.subKey() + L"\\List");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L" lead and trail  ", L"888:TCP "}));
    EXPECT_EQ(raw(L"\\List", L"888:TCP ")->bytes, bytesOf(L"888:TCP:*:Enabled:888"));
    EXPECT_FALSE(raw(L"\\List", L"888:TCP"));
}

TEST_F(RegistryTest, StringDataIsStoredUnchangedWithItsTerminatingNul) {
    const std::wstring texts[] = {L"888:TCP:*:Enabled:888", L" spaced  ", L"", L"端口 080 ＋ 한글"};
    for (const std::wstring& text : texts) {
        registry.write(key.path(L"Text"), std::wstring(text));
        EXPECT_EQ(raw(L"", L"Text"), (RawValue{REG_SZ, bytesOf(text)})) << test::toUtf8(text);
        EXPECT_EQ(registry.read(key.path(L"Text")), RegistryValue(text));
    }
}

TEST_F(RegistryTest, WriteCreatesEveryMissingKeyOnTheWay) {
    registry.write(key.path(L"A\\B\\C\\Port"), std::uint32_t{3389});
    EXPECT_EQ(raw(L"\\A\\B\\C", L"Port"), (RawValue{REG_DWORD, bytesOf(DWORD{3389})}));
}

TEST_F(RegistryTest, TrailingBackslashNamesTheDefaultValue) {
    registry.write(key.path(L"Cmd\\"), std::wstring(L"\"x.exe\" \"%1\""));
    EXPECT_EQ(raw(L"\\Cmd", L""), (RawValue{REG_SZ, bytesOf(L"\"x.exe\" \"%1\"")}));
}

TEST_F(RegistryTest, AMissingValueOrKeyIsFileNotFoundToReadAndNoneToReadIfPresent) {
    for (const std::wstring& path : {key.path(L"Absent"), key.path(L"NoKey\\Absent")}) {
        const PlatformError error = thrownBy([&] { registry.read(path); });
        EXPECT_EQ(error.number(), ERROR_FILE_NOT_FOUND);
        EXPECT_FALSE(error.description().empty());
        EXPECT_EQ(registry.readIfPresent(path), std::nullopt);
    }
}

TEST_F(RegistryTest, ReadsOnlyNumbersAndTexts) {
    test::writeRawValue(HKEY_CURRENT_USER, key.subKey(), L"Binary", REG_BINARY, {1, 2, 3});
    test::writeRawValue(HKEY_CURRENT_USER, key.subKey(), L"Short", REG_DWORD, {1, 2});
    const std::wstring expandable = L"%SystemRoot%\\x";
    test::writeRawValue(HKEY_CURRENT_USER, key.subKey(), L"Expand", REG_EXPAND_SZ,
                        bytesOf(expandable));
    std::vector<BYTE> unterminated = bytesOf(L"abc");
    unterminated.resize(unterminated.size() - sizeof(wchar_t));
    test::writeRawValue(HKEY_CURRENT_USER, key.subKey(), L"Unterminated", REG_SZ, unterminated);

    EXPECT_EQ(thrownBy([&] { registry.read(key.path(L"Binary")); }).number(),
              ERROR_UNSUPPORTED_TYPE);
    EXPECT_EQ(thrownBy([&] { registry.read(key.path(L"Short")); }).number(), ERROR_INVALID_DATA);
    EXPECT_EQ(registry.read(key.path(L"Expand")), RegistryValue(expandable));
    EXPECT_EQ(registry.read(key.path(L"Unterminated")), RegistryValue(std::wstring(L"abc")));
}

TEST_F(RegistryTest, MalformedPathsAreRefusedBeforeAnyChange) {
    const std::wstring badPaths[] = {L"HKEY_CLASSES_ROOT\\x\\v", L"NoRoot", L"",
                                     L"HKCU\\" + key.subKey() + L"\\\\v",
                                     L"HKXX\\" + key.subKey() + L"\\v"};
    for (const std::wstring& path : badPaths) {
        EXPECT_EQ(thrownBy([&] { registry.write(path, std::wstring(L"1")); }).number(),
                  ERROR_INVALID_PARAMETER)
            << test::toUtf8(path);
    }
}

TEST_F(RegistryTest, RootsAreAcceptedInLongAndShortFormInAnyCase) {
    const std::wstring roots[] = {L"HKEY_CURRENT_USER", L"HKCU", L"hkcu", L"Hkey_Current_User"};
    for (const std::wstring& root : roots) {
        registry.write(root + L"\\" + key.subKey() + L"\\Root", std::wstring(root));
        EXPECT_EQ(raw(L"", L"Root")->bytes, bytesOf(root));
    }
    // HKLM is readable by everyone: a value Wine and Windows both have.
    EXPECT_NO_THROW(
        registry.read(L"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\CurrentVersion"));
}

TEST_F(RegistryTest, RestoreRemovesAValueAndTheKeysTheWriteCreated) {
    const std::wstring path = key.path(L"X\\Y\\Z\\888:TCP ");
    const RegistryValueState before = registry.capture(path);
    EXPECT_EQ(before, (RegistryValueState{std::nullopt, 3}));

    registry.write(path, std::wstring(L"888:TCP:*:Enabled:888"));
    registry.restore(path, before);

    EXPECT_FALSE(test::keyExists(HKEY_CURRENT_USER, key.subKey() + L"\\X"));
    EXPECT_TRUE(test::keyExists(HKEY_CURRENT_USER, key.subKey()));
}

TEST_F(RegistryTest, RestoreKeepsCreatedKeysThatSomethingElseFilledMeanwhile) {
    const std::wstring path = key.path(L"X\\Y\\Port");
    const RegistryValueState before = registry.capture(path);
    registry.write(path, std::uint32_t{888});
    test::writeRawValue(HKEY_CURRENT_USER, key.subKey() + L"\\X", L"Other", REG_SZ, bytesOf(L"o"));

    registry.restore(path, before);

    EXPECT_FALSE(test::keyExists(HKEY_CURRENT_USER, key.subKey() + L"\\X\\Y"));
    EXPECT_EQ(raw(L"\\X", L"Other"), (RawValue{REG_SZ, bytesOf(L"o")}));
}

TEST_F(RegistryTest, RestorePutsBackValuesOfAnyTypeByteForByte) {
    const std::pair<DWORD, std::vector<BYTE>> olds[] = {
        {REG_BINARY, {0, 0xFF, 7}},
        {REG_MULTI_SZ, bytesOf(std::wstring(L"a\0b\0", 4))},
        {REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {REG_DWORD, bytesOf(DWORD{3389})},
        {REG_SZ, {}},
        {REG_EXPAND_SZ, bytesOf(L"%SystemRoot%")},
    };
    for (const auto& [type, bytes] : olds) {
        test::writeRawValue(HKEY_CURRENT_USER, key.subKey(), L"888:TCP ", type, bytes);
        const RegistryValueState before = registry.capture(key.path(L"888:TCP "));
        ASSERT_TRUE(before.value);
        EXPECT_EQ(before.missingKeys, 0);

        registry.write(key.path(L"888:TCP "), std::wstring(L"replaced"));
        registry.restore(key.path(L"888:TCP "), before);

        EXPECT_EQ(raw(L"", L"888:TCP "), (RawValue{type, bytes}));
    }
}

TEST_F(RegistryTest, RestoreOfAnAbsentValueInAnExistingKeyDeletesOnlyTheValue) {
    test::writeRawValue(HKEY_CURRENT_USER, key.subKey() + L"\\K", L"Keep", REG_SZ, bytesOf(L"k"));
    const RegistryValueState before = registry.capture(key.path(L"K\\New"));
    EXPECT_EQ(before, (RegistryValueState{std::nullopt, 0}));

    registry.write(key.path(L"K\\New"), std::uint32_t{1});
    registry.restore(key.path(L"K\\New"), before);
    registry.restore(key.path(L"K\\New"), before); // a second time finds nothing to do

    EXPECT_FALSE(raw(L"\\K", L"New"));
    EXPECT_EQ(raw(L"\\K", L"Keep"), (RawValue{REG_SZ, bytesOf(L"k")}));
}

// A DACL that refuses setting values and creating subkeys to everyone, and allows the rest.
const wchar_t* const refuseWrites = L"D:P(D;;0x6;;;WD)(A;;KA;;;WD)";

TEST_F(RegistryTest, WriteRefusedByTheKeysAclRaisesAccessDeniedAndChangesNothing) {
    test::writeRawValue(HKEY_CURRENT_USER, key.subKey() + L"\\Locked", L"Port", REG_DWORD,
                        bytesOf(DWORD{3389}));
    test::setKeyDacl(HKEY_CURRENT_USER, key.subKey() + L"\\Locked", refuseWrites);

    const PlatformError onValue =
        thrownBy([&] { registry.write(key.path(L"Locked\\Port"), std::uint32_t{888}); });
    const PlatformError onNewKey =
        thrownBy([&] { registry.write(key.path(L"Locked\\Sub\\Deeper\\V"), std::wstring(L"x")); });
    const RegistryValueState stillReadable = registry.capture(key.path(L"Locked\\Port"));
    test::setKeyDacl(HKEY_CURRENT_USER, key.subKey() + L"\\Locked", L"D:(A;;KA;;;WD)");

    EXPECT_EQ(onValue.number(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(onValue.description().empty());
    // The key is opened for writing first: that call is the one refused, and the log names it.
    EXPECT_EQ(errorLogText(onValue), L"error 5: " + onValue.description() + L" (RegCreateKeyExW " +
                                         key.path(L"Locked") + L")");
    EXPECT_EQ(onNewKey.number(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(raw(L"\\Locked", L"Port"), (RawValue{REG_DWORD, bytesOf(DWORD{3389})}));
    EXPECT_FALSE(test::keyExists(HKEY_CURRENT_USER, key.subKey() + L"\\Locked\\Sub"));
    EXPECT_EQ(stillReadable.value, (StoredRegistryValue{REG_DWORD, bytesOf(DWORD{3389})}));
}

TEST_F(RegistryTest, RestoreRefusedByTheKeysAclRaisesAccessDenied) {
    test::writeRawValue(HKEY_CURRENT_USER, key.subKey() + L"\\Locked", L"Port", REG_DWORD,
                        bytesOf(DWORD{3389}));
    const RegistryValueState before = registry.capture(key.path(L"Locked\\Port"));
    registry.write(key.path(L"Locked\\Port"), std::uint32_t{888});
    test::setKeyDacl(HKEY_CURRENT_USER, key.subKey() + L"\\Locked", refuseWrites);

    const PlatformError error =
        thrownBy([&] { registry.restore(key.path(L"Locked\\Port"), before); });
    test::setKeyDacl(HKEY_CURRENT_USER, key.subKey() + L"\\Locked", L"D:(A;;KA;;;WD)");

    EXPECT_EQ(error.number(), ERROR_ACCESS_DENIED);
}

} // namespace
} // namespace velkora::test

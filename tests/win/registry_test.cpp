#include <gtest/gtest.h>

#include <algorithm>

#include "platform/win32/registry/registry_shell_object.h"
#include "tests/common/dword_text_cases.h"
#include "tests/win/test_support.h"
#include "tests/common/test_helpers.h"

namespace velkora::test {
namespace {

class RegistryShellObjectTest : public ::testing::Test {
protected:
    std::unique_ptr<ShellObject> shell =
        win32::RegistryShellObjectFactory().create(L"wscript.shell");
    test::ThrowawayKey key;

    std::optional<RawValue> raw(const std::wstring& subPath, const std::wstring& name) {
        return test::readRawValue(HKEY_CURRENT_USER, key.subKey() + subPath, name);
    }
};

TEST_F(RegistryShellObjectTest, DwordTextIsStoredAsTheNumberItsDigitsDenote) {
    const std::pair<std::wstring, DWORD> cases[] = {{L" 888 ", 888},
                                                    {L" 080 ", 80},
                                                    {L"0", 0},
                                                    {L" 65535 ", 65535},
                                                    {L"4294967295", 4294967295u},
                                                    {L"0000000000004294967295", 4294967295u}};
    for (const auto& [text, number] : cases) {
        shell->regwrite(key.path(L"Port"), text, L"REG_DWORD");
        EXPECT_EQ(raw(L"", L"Port"), (RawValue{REG_DWORD, bytesOf(number)})) << test::toUtf8(text);
        EXPECT_EQ(shell->regread(key.path(L"Port")), RegistryValue(std::uint32_t{number}));
    }
}

TEST_F(RegistryShellObjectTest, DwordTextThatIsNotPlainDigitsIsRefusedAndNothingIsWritten) {
    const std::wstring refused[] = {
        L"",     L"   ",  L"-1",  L"+80",  L"4294967296", L"99999999999999999999",
        L"8 8",  L"８８", L"1e3", L"0x10", L"\t80",       L"80\r\n",
        L"80.0", L"1,000"};
    for (const std::wstring& text : refused) {
        const PlatformError error =
            thrownBy([&] { shell->regwrite(key.path(L"New\\Port"), text, L"REG_DWORD"); });
        EXPECT_EQ(error.number(), ERROR_INVALID_DATA) << test::toUtf8(text);
        EXPECT_FALSE(error.description().empty());
        EXPECT_FALSE(test::keyExists(HKEY_CURRENT_USER, key.subKey() + L"\\New"));
    }
}

class RegistryShellObjectDword : public RegistryShellObjectTest,
                                 public ::testing::WithParamInterface<DwordTextCase> {};

// The same table the host's fake registry is checked against.
TEST_P(RegistryShellObjectDword, StoresTheNumberOrRefusesWithInvalidData) {
    const std::wstring path = key.path(L"New\\Port");
    if (GetParam().stored) {
        shell->regwrite(path, GetParam().data, L"REG_DWORD");
        EXPECT_EQ(raw(L"\\New", L"Port"),
                  (RawValue{REG_DWORD, bytesOf(DWORD{*GetParam().stored})}));
        EXPECT_EQ(shell->regread(path), RegistryValue(*GetParam().stored));
    } else {
        EXPECT_EQ(thrownBy([&] { shell->regwrite(path, GetParam().data, L"REG_DWORD"); }).number(),
                  ERROR_INVALID_DATA);
        EXPECT_FALSE(test::keyExists(HKEY_CURRENT_USER, key.subKey() + L"\\New"))
            << "a refused write creates nothing";
    }
}

INSTANTIATE_TEST_SUITE_P(Data, RegistryShellObjectDword, ::testing::ValuesIn(dwordTextCases),
                         CaseLabel());

TEST_F(RegistryShellObjectTest, ValueNameAfterTheLastBackslashIsKeptExactly) {
    shell->regwrite(key.path(L"List\\888:TCP "), L"888:TCP:*:Enabled:888", L"REG_SZ");
    shell->regwrite(key.path(L"List\\ lead and trail  "), L"x", L"REG_SZ");

    std::vector<std::wstring> names = test::valueNames(HKEY_CURRENT_USER, key.subKey() + L"\\List");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L" lead and trail  ", L"888:TCP "}));
    EXPECT_EQ(raw(L"\\List", L"888:TCP ")->bytes, bytesOf(L"888:TCP:*:Enabled:888"));
    EXPECT_FALSE(raw(L"\\List", L"888:TCP"));
}

TEST_F(RegistryShellObjectTest, StringDataIsStoredUnchangedWithItsTerminatingNul) {
    const std::wstring texts[] = {L"888:TCP:*:Enabled:888", L" spaced  ", L"", L"端口 080 ＋ 한글"};
    for (const std::wstring& text : texts) {
        shell->regwrite(key.path(L"Text"), text, L"REG_SZ");
        EXPECT_EQ(raw(L"", L"Text"), (RawValue{REG_SZ, bytesOf(text)})) << test::toUtf8(text);
        EXPECT_EQ(shell->regread(key.path(L"Text")), RegistryValue(text));
    }
}

TEST_F(RegistryShellObjectTest, WriteCreatesEveryMissingKeyOnTheWay) {
    shell->regwrite(key.path(L"A\\B\\C\\Port"), L" 3389 ", L"REG_DWORD");
    EXPECT_EQ(raw(L"\\A\\B\\C", L"Port"), (RawValue{REG_DWORD, bytesOf(DWORD{3389})}));
}

TEST_F(RegistryShellObjectTest, TrailingBackslashNamesTheDefaultValue) {
    shell->regwrite(key.path(L"Cmd\\"), L"\"x.exe\" \"%1\"", L"REG_SZ");
    EXPECT_EQ(raw(L"\\Cmd", L""), (RawValue{REG_SZ, bytesOf(L"\"x.exe\" \"%1\"")}));
}

TEST_F(RegistryShellObjectTest, ReadOfAMissingValueOrKeyRaisesFileNotFoundWithADescription) {
    for (const std::wstring& path : {key.path(L"Absent"), key.path(L"NoKey\\Absent")}) {
        const PlatformError error = thrownBy([&] { shell->regread(path); });
        EXPECT_EQ(error.number(), ERROR_FILE_NOT_FOUND);
        EXPECT_FALSE(error.description().empty());
    }
}

TEST_F(RegistryShellObjectTest, ReadsOnlyNumbersAndTexts) {
    test::writeRawValue(HKEY_CURRENT_USER, key.subKey(), L"Binary", REG_BINARY, {1, 2, 3});
    test::writeRawValue(HKEY_CURRENT_USER, key.subKey(), L"Short", REG_DWORD, {1, 2});
    const std::wstring expandable = L"%SystemRoot%\\x";
    test::writeRawValue(HKEY_CURRENT_USER, key.subKey(), L"Expand", REG_EXPAND_SZ,
                        bytesOf(expandable));
    std::vector<BYTE> unterminated = bytesOf(L"abc");
    unterminated.resize(unterminated.size() - sizeof(wchar_t));
    test::writeRawValue(HKEY_CURRENT_USER, key.subKey(), L"Unterminated", REG_SZ, unterminated);

    EXPECT_EQ(thrownBy([&] { shell->regread(key.path(L"Binary")); }).number(),
              ERROR_UNSUPPORTED_TYPE);
    EXPECT_EQ(thrownBy([&] { shell->regread(key.path(L"Short")); }).number(), ERROR_INVALID_DATA);
    EXPECT_EQ(shell->regread(key.path(L"Expand")), RegistryValue(expandable));
    EXPECT_EQ(shell->regread(key.path(L"Unterminated")), RegistryValue(std::wstring(L"abc")));
}

TEST_F(RegistryShellObjectTest, UnknownTypeNamesAndMalformedPathsAreRefusedBeforeAnyChange) {
    for (const wchar_t* type : {L"REG_BINARY", L"reg_dword", L"", L"REG_SZ "}) {
        EXPECT_EQ(thrownBy([&] { shell->regwrite(key.path(L"New\\V"), L"1", type); }).number(),
                  ERROR_UNSUPPORTED_TYPE);
    }
    EXPECT_FALSE(test::keyExists(HKEY_CURRENT_USER, key.subKey() + L"\\New"));

    const std::wstring badPaths[] = {L"HKEY_CLASSES_ROOT\\x\\v", L"NoRoot", L"",
                                     L"HKCU\\" + key.subKey() + L"\\\\v",
                                     L"HKXX\\" + key.subKey() + L"\\v"};
    for (const std::wstring& path : badPaths) {
        EXPECT_EQ(thrownBy([&] { shell->regwrite(path, L"1", L"REG_SZ"); }).number(),
                  ERROR_INVALID_PARAMETER)
            << test::toUtf8(path);
    }
}

TEST_F(RegistryShellObjectTest, RootsAreAcceptedInLongAndShortFormInAnyCase) {
    const std::wstring roots[] = {L"HKEY_CURRENT_USER", L"HKCU", L"hkcu", L"Hkey_Current_User"};
    for (const std::wstring& root : roots) {
        shell->regwrite(root + L"\\" + key.subKey() + L"\\Root", root, L"REG_SZ");
        EXPECT_EQ(raw(L"", L"Root")->bytes, bytesOf(root));
    }
    // HKLM is readable by everyone: a value Wine and Windows both have.
    EXPECT_NO_THROW(
        shell->regread(L"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\CurrentVersion"));
}

TEST(RegistryShellObjectFactory, CreatesTheShellObjectForItsProgIdOnly) {
    win32::RegistryShellObjectFactory factory;
    EXPECT_NE(factory.create(L"wscript.shell"), nullptr);
    EXPECT_NE(factory.create(L"WScript.Shell"), nullptr);
    for (const wchar_t* progId : {L"Scripting.FileSystemObject", L"wscript.shell ", L""}) {
        const PlatformError error = thrownBy([&] { factory.create(progId); });
        EXPECT_EQ(error.number(), static_cast<long>(REGDB_E_CLASSNOTREG));
        EXPECT_FALSE(error.description().empty());
    }
}

TEST_F(RegistryShellObjectTest, RestoreRemovesAValueAndTheKeysTheWriteCreated) {
    const std::wstring path = key.path(L"X\\Y\\Z\\888:TCP ");
    const RegistryValueState before = shell->capture(path);
    EXPECT_EQ(before, (RegistryValueState{std::nullopt, 3}));

    shell->regwrite(path, L"888:TCP:*:Enabled:888", L"REG_SZ");
    shell->restore(path, before);

    EXPECT_FALSE(test::keyExists(HKEY_CURRENT_USER, key.subKey() + L"\\X"));
    EXPECT_TRUE(test::keyExists(HKEY_CURRENT_USER, key.subKey()));
}

TEST_F(RegistryShellObjectTest, RestoreKeepsCreatedKeysThatSomethingElseFilledMeanwhile) {
    const std::wstring path = key.path(L"X\\Y\\Port");
    const RegistryValueState before = shell->capture(path);
    shell->regwrite(path, L" 888 ", L"REG_DWORD");
    test::writeRawValue(HKEY_CURRENT_USER, key.subKey() + L"\\X", L"Other", REG_SZ, bytesOf(L"o"));

    shell->restore(path, before);

    EXPECT_FALSE(test::keyExists(HKEY_CURRENT_USER, key.subKey() + L"\\X\\Y"));
    EXPECT_EQ(raw(L"\\X", L"Other"), (RawValue{REG_SZ, bytesOf(L"o")}));
}

TEST_F(RegistryShellObjectTest, RestorePutsBackValuesOfAnyTypeByteForByte) {
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
        const RegistryValueState before = shell->capture(key.path(L"888:TCP "));
        ASSERT_TRUE(before.value);
        EXPECT_EQ(before.missingKeys, 0);

        shell->regwrite(key.path(L"888:TCP "), L"replaced", L"REG_SZ");
        shell->restore(key.path(L"888:TCP "), before);

        EXPECT_EQ(raw(L"", L"888:TCP "), (RawValue{type, bytes}));
    }
}

TEST_F(RegistryShellObjectTest, RestoreOfAnAbsentValueInAnExistingKeyDeletesOnlyTheValue) {
    test::writeRawValue(HKEY_CURRENT_USER, key.subKey() + L"\\K", L"Keep", REG_SZ, bytesOf(L"k"));
    const RegistryValueState before = shell->capture(key.path(L"K\\New"));
    EXPECT_EQ(before, (RegistryValueState{std::nullopt, 0}));

    shell->regwrite(key.path(L"K\\New"), L" 1 ", L"REG_DWORD");
    shell->restore(key.path(L"K\\New"), before);
    shell->restore(key.path(L"K\\New"), before); // a second time finds nothing to do

    EXPECT_FALSE(raw(L"\\K", L"New"));
    EXPECT_EQ(raw(L"\\K", L"Keep"), (RawValue{REG_SZ, bytesOf(L"k")}));
}

// A DACL that refuses setting values and creating subkeys to everyone, and allows the rest.
const wchar_t* const refuseWrites = L"D:P(D;;0x6;;;WD)(A;;KA;;;WD)";

TEST_F(RegistryShellObjectTest, WriteRefusedByTheKeysAclRaisesAccessDeniedAndChangesNothing) {
    test::writeRawValue(HKEY_CURRENT_USER, key.subKey() + L"\\Locked", L"Port", REG_DWORD,
                        bytesOf(DWORD{3389}));
    test::setKeyDacl(HKEY_CURRENT_USER, key.subKey() + L"\\Locked", refuseWrites);

    const PlatformError onValue =
        thrownBy([&] { shell->regwrite(key.path(L"Locked\\Port"), L" 888 ", L"REG_DWORD"); });
    const PlatformError onNewKey =
        thrownBy([&] { shell->regwrite(key.path(L"Locked\\Sub\\Deeper\\V"), L"x", L"REG_SZ"); });
    const RegistryValueState stillReadable = shell->capture(key.path(L"Locked\\Port"));
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

TEST_F(RegistryShellObjectTest, RestoreRefusedByTheKeysAclRaisesAccessDenied) {
    test::writeRawValue(HKEY_CURRENT_USER, key.subKey() + L"\\Locked", L"Port", REG_DWORD,
                        bytesOf(DWORD{3389}));
    const RegistryValueState before = shell->capture(key.path(L"Locked\\Port"));
    shell->regwrite(key.path(L"Locked\\Port"), L" 888 ", L"REG_DWORD");
    test::setKeyDacl(HKEY_CURRENT_USER, key.subKey() + L"\\Locked", refuseWrites);

    const PlatformError error =
        thrownBy([&] { shell->restore(key.path(L"Locked\\Port"), before); });
    test::setKeyDacl(HKEY_CURRENT_USER, key.subKey() + L"\\Locked", L"D:(A;;KA;;;WD)");

    EXPECT_EQ(error.number(), ERROR_ACCESS_DENIED);
}

} // namespace
} // namespace velkora::test

#include <gtest/gtest.h>

#include "platform/win32/document_opener.h"
#include "tests/win/test_support.h"

namespace velkora::test {
namespace {

// Points an HKLM class's open command at the recorder for the test's length, and puts
// back what was there. (Wine looks up these handlers under HKLM, not HKCU.)
class RecorderAsHandler {
public:
    explicit RecorderAsHandler(const std::wstring& classKey)
        : commandKey_(L"Software\\Classes\\" + classKey + L"\\shell\\open\\command"),
          existed_(test::keyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + classKey)),
          classKey_(L"Software\\Classes\\" + classKey),
          before_(test::readRawValue(HKEY_LOCAL_MACHINE, commandKey_, L"")) {
        const std::wstring command = L"\"" + test::recorderPath() + L"\" \"%1\"";
        test::writeRawValue(HKEY_LOCAL_MACHINE, commandKey_, L"", REG_SZ, test::bytesOf(command));
    }
    ~RecorderAsHandler() {
        if (!existed_) {
            test::deleteKeyTree(HKEY_LOCAL_MACHINE, classKey_);
        } else if (before_) {
            test::writeRawValue(HKEY_LOCAL_MACHINE, commandKey_, L"", before_->type,
                                before_->bytes);
        }
    }

private:
    std::wstring commandKey_;
    bool existed_;
    std::wstring classKey_;
    std::optional<test::RawValue> before_;
};

TEST(ShellDocumentOpener, OpensAnHttpsAddressWithItsRegisteredHandler) {
    RecorderAsHandler handler(L"https");
    test::RecordFolder record;

    win32::ShellDocumentOpener().openDocument(L"open", L"https://harnoq.example/", L"", L"", 1);

    const std::vector<test::Record> runs = record.waitFor(1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_NE(runs[0].commandLine.find(L"\"https://harnoq.example/\""), std::wstring::npos)
        << test::toUtf8(runs[0].commandLine);
}

TEST(ShellDocumentOpener, PassesCharactersOutsideTheAnsiCodePageIntact) {
    RecorderAsHandler handler(L"velkoratestfile");
    test::writeRawValue(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.velkoratest", L"", REG_SZ,
                        test::bytesOf(L"velkoratestfile"));
    test::TempFolder folder(L"한글 ä 测试");
    const std::wstring document = folder.path() + L"\\문서.velkoratest";
    CloseHandle(CreateFileW(document.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    test::RecordFolder record;

    win32::ShellDocumentOpener().openDocument(L"open", document, L"", folder.path(), 1);

    const std::vector<test::Record> runs = record.waitFor(1);
    test::deleteKeyTree(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.velkoratest");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_NE(runs[0].commandLine.find(document), std::wstring::npos)
        << test::toUtf8(runs[0].commandLine);
}

TEST(ShellDocumentOpener, KeepsTheLastErrorOfAFailedOpen) {
    win32::ShellDocumentOpener opener;
    opener.openDocument(L"open", L"C:\\velkora-no-such-folder\\no-such-file.velkoranone", L"", L"",
                        1);
    EXPECT_NE(opener.lastExternalError(), 0u);
}

} // namespace
} // namespace velkora::test

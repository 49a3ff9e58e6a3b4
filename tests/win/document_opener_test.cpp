#include <gtest/gtest.h>

#include <windows.h>
#include <initguid.h>
#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shobjidl.h>

#include <functional>

#include "platform/win32/runtime/com_apartment.h"
#include "platform/win32/shell/desktop_shell.h"
#include "platform/win32/shell/document_opener.h"
#include "platform/win32/runtime/com_ids.h"
#include "platform/win32/runtime/unique_handles.h"
#include "tests/win/test_support.h"

namespace velkora::test {
namespace {

// velkora.exe keeps COM initialised on its window's thread for its whole life; so does
// this run on its main thread. (Under Wine, once a thread's apartment has been torn down
// after a call through the desktop's shell, later such calls return S_OK and start
// nothing.)
class ComForTheWholeRun : public ::testing::Environment {
public:
    void SetUp() override { com_.emplace(COINIT_DISABLE_OLE1DDE); }
    void TearDown() override { com_.reset(); }

private:
    std::optional<win32::ComApartment> com_;
};

const auto* const comForTheWholeRun = ::testing::AddGlobalTestEnvironment(new ComForTheWholeRun);

// Points an HKLM class's open command at the recorder for the test's length, and puts
// back what was there. (Wine looks up these handlers under HKLM, not HKCU.)
class RecorderAsHandler {
public:
    explicit RecorderAsHandler(const std::wstring& classKey, const std::wstring& arguments = L"")
        : commandKey_(L"Software\\Classes\\" + classKey + L"\\shell\\open\\command"),
          existed_(test::keyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + classKey)),
          classKey_(L"Software\\Classes\\" + classKey),
          before_(test::readRawValue(HKEY_LOCAL_MACHINE, commandKey_, L"")) {
        const std::wstring command = L"\"" + test::recorderPath() + L"\" \"%1\"" + arguments;
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

TEST(ShellDocumentOpener, KeepsTheLastErrorOfAFailedOpenOnEitherRoute) {
    const std::wstring missing = L"C:\\velkora-no-such-folder\\no-such-file.velkoranone";
    win32::ShellDocumentOpener opener;
    opener.openDocument(L"open", missing, L"", L"", 1);
    EXPECT_NE(opener.lastExternalError(), 0u);
    opener.openDirectly(L"open", missing, L"", L"", 1);
    EXPECT_NE(opener.lastExternalError(), 0u);
}

TEST(ShellIds, MatchTheSystemHeaders) {
    EXPECT_TRUE(IsEqualGUID(win32::clsidShellWindows, CLSID_ShellWindows));
    EXPECT_TRUE(IsEqualGUID(win32::iidIShellWindows, IID_IShellWindows));
    EXPECT_TRUE(IsEqualGUID(win32::iidIServiceProvider, IID_IServiceProvider));
    EXPECT_TRUE(IsEqualGUID(win32::sidSTopLevelBrowser, SID_STopLevelBrowser));
    EXPECT_TRUE(IsEqualGUID(win32::iidIShellBrowser, IID_IShellBrowser));
    EXPECT_TRUE(IsEqualGUID(win32::iidIDispatch, IID_IDispatch));
    EXPECT_TRUE(IsEqualGUID(win32::iidIShellFolderViewDual, IID_IShellFolderViewDual));
    EXPECT_TRUE(IsEqualGUID(win32::iidIShellDispatch2, IID_IShellDispatch2));
}

// The process that started the handler, seen while the handler lingers.
DWORD parentOfHandlerStartedBy(const std::function<void()>& open) {
    RecorderAsHandler handler(L"https", L" --linger");
    test::RecordFolder record;
    open();
    const std::vector<test::Record> runs = record.waitFor(1);
    if (runs.size() != 1) {
        return 0;
    }
    const DWORD parent = test::parentProcessOf(runs[0].processId);
    win32::UniqueKernelHandle child(OpenProcess(PROCESS_TERMINATE, FALSE, runs[0].processId));
    TerminateProcess(child.get(), 0);
    return parent;
}

TEST(ShellDocumentOpener, OpensDirectlyAsAChildOfThisProcess) {
    const DWORD parent = parentOfHandlerStartedBy([] {
        win32::ShellDocumentOpener().openDirectly(L"open", L"https://harnoq.example/", L"", L"", 1);
    });
    EXPECT_EQ(parent, GetCurrentProcessId());
}

// Wine gives every process an elevated token, and its explorer serves the desktop's shell
// window, so under Wine the elevated route is taken and observed. The route of a process
// that is not elevated cannot be made to run here.
TEST(ShellDocumentOpener, ElevatedOpensThroughTheDesktopsShellNotAsAChildOfThisProcess) {
    if (!win32::processIsElevated()) {
        ASSERT_FALSE(test::runningUnderWine()) << "Wine runs every process elevated";
        GTEST_SKIP() << "needs an elevated process";
    }
    const DWORD parent = parentOfHandlerStartedBy([] {
        win32::ShellDocumentOpener().openDocument(L"open", L"https://harnoq.example/", L"", L"", 1);
    });
    ASSERT_NE(parent, 0u) << "the handler did not run";
    EXPECT_NE(parent, GetCurrentProcessId());
    EXPECT_TRUE(test::sameIgnoringCase(test::processNameOf(parent), L"explorer.exe"))
        << test::toUtf8(test::processNameOf(parent));
}

} // namespace
} // namespace velkora::test

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/win32/runtime/delay_load_failure.h"
#include "platform/win32/runtime/error_box.h"
#include "platform/win32/runtime/process_end.h"
#include "platform/win32/runtime/program_paths.h"
#include "platform/win32/runtime/system_clock.h"
#include "platform/win32/runtime/system_libraries.h"
#include "platform/win32/runtime/win32_error.h"
#include "tests/win/test_support.h"

namespace velkora::test {
namespace {

bool hasChinese(const std::wstring& text) {
    for (wchar_t c : text) {
        if (c >= 0x4E00 && c <= 0x9FFF) {
            return true;
        }
    }
    return false;
}

TEST(ErrorReportText, ShowsTheNumberAnEmptyLineAndTheDescription) {
    EXPECT_EQ(win32::errorReportText(5, L"拒绝访问。"), L"运行时错误 '5':\r\n\r\n拒绝访问。");
    EXPECT_EQ(win32::errorReportText(13, L"数据无效。"), L"运行时错误 '13':\r\n\r\n数据无效。");
    EXPECT_EQ(win32::errorReportText(0, L""), L"运行时错误 '0':\r\n\r\n");
}

TEST(ErrorReportText, ShowsHresultsInHex) {
    EXPECT_EQ(win32::errorReportText(static_cast<long>(0x80070005), L"d"),
              L"运行时错误 '0x80070005':\r\n\r\nd");
    EXPECT_EQ(win32::errorReportText(static_cast<long>(REGDB_E_CLASSNOTREG), L"d"),
              L"运行时错误 '0x80040154':\r\n\r\nd");
}

struct RecordingBox : MessageBoxService {
    std::vector<std::string>* events;
    std::wstring prompt;
    int style = 0;
    std::optional<std::wstring> title = L"unset";
    int messageBox(const std::wstring& p, int s, const std::optional<std::wstring>& t) override {
        events->push_back("box");
        prompt = p;
        style = s;
        title = t;
        return MessageBoxReply::Ok;
    }
};

struct RecordingEnd : ProgramEnd {
    std::vector<std::string>* events;
    void endProgram(int exitCode) override { events->push_back("end " + std::to_string(exitCode)); }
};

TEST(MessageBoxErrorReport, ShowsTheErrorInACriticalBoxWithTheApplicationTitleThenEnds) {
    std::vector<std::string> events;
    RecordingBox box;
    box.events = &events;
    RecordingEnd end;
    end.events = &events;

    win32::MessageBoxErrorReport(box, end).report(PlatformError(5, L"拒绝访问。"));

    EXPECT_EQ(events, (std::vector<std::string>{"box", "end 1"}));
    EXPECT_EQ(box.prompt, L"运行时错误 '5':\r\n\r\n拒绝访问。");
    EXPECT_EQ(box.style, MessageBoxStyle::OkCritical);
    EXPECT_EQ(box.title, std::nullopt);
}

TEST(SystemErrorText, DescribesCommonCodesInChineseWithoutTheTrailingLineBreak) {
    for (DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_DATA,
                       ERROR_INVALID_PARAMETER, ERROR_UNSUPPORTED_TYPE}) {
        const std::wstring text = win32::systemErrorText(code);
        ASSERT_FALSE(text.empty()) << code;
        EXPECT_NE(text.back(), L'\n') << code;
        EXPECT_NE(text.back(), L'\r') << code;
    }
    // This prefix runs in Simplified Chinese, and Wine has these texts in it.
    EXPECT_TRUE(hasChinese(win32::systemErrorText(ERROR_ACCESS_DENIED)));
    EXPECT_TRUE(hasChinese(win32::systemErrorText(ERROR_FILE_NOT_FOUND)));
}

TEST(SystemErrorText, DescribesAWrappedWin32CodeLikeTheCodeItself) {
    EXPECT_EQ(win32::systemErrorText(static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED))),
              win32::systemErrorText(ERROR_ACCESS_DENIED));
}

TEST(SystemErrorText, FallsBackToAFixedTextForCodesTheSystemDoesNotKnow) {
    const std::wstring text = win32::systemErrorText(0x2000FFFF); // a customer-defined code
    EXPECT_FALSE(text.empty());
    EXPECT_TRUE(hasChinese(text));
}

TEST(Win32Error, CarriesTheNumberAndTheSystemsDescription) {
    const PlatformError win32 = win32::win32Error(ERROR_ACCESS_DENIED);
    EXPECT_EQ(win32.number(), 5);
    EXPECT_EQ(win32.description(), win32::systemErrorText(ERROR_ACCESS_DENIED));

    const PlatformError com = win32::hresultError(E_ACCESSDENIED);
    EXPECT_EQ(com.number(), static_cast<long>(0x80070005));
    EXPECT_EQ(com.description(), win32::systemErrorText(ERROR_ACCESS_DENIED));

    EXPECT_NO_THROW(win32::checkHr(S_FALSE, L"CoInitializeEx"));
    EXPECT_NO_THROW(win32::checkWin32(ERROR_SUCCESS, L"RegCloseKey"));
    EXPECT_THROW(win32::checkWin32(ERROR_MORE_DATA, L"RegQueryValueExW"), PlatformError);
}

// What both programs' delay-load failure hooks report: the DLL, the function by name or
// number, and the system's text for the error; other notifications are no failure.
TEST(DelayLoadFailure, NamesTheDllAndTheFunctionWithTheSystemsText) {
    DelayLoadInfo info{};
    info.szDll = "ole32.dll";
    info.dwLastError = ERROR_MOD_NOT_FOUND;
    const std::wstring why = L"：" + win32::systemErrorText(ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(win32::delayLoadFailure(dliFailLoadLib, info).description(),
              L"无法加载系统组件 ole32.dll" + why);
    info.dlp.fImportByName = TRUE;
    info.dlp.szProcName = "CoInitializeEx";
    EXPECT_EQ(win32::delayLoadFailure(dliFailGetProc, info).description(),
              L"无法加载系统组件 ole32.dll 的函数 CoInitializeEx" + why);
    info.dlp.fImportByName = FALSE;
    info.dlp.dwOrdinal = 7;
    EXPECT_EQ(win32::delayLoadFailure(dliFailGetProc, info).description(),
              L"无法加载系统组件 ole32.dll 的函数 #7" + why);
    EXPECT_EQ(win32::delayLoadFailure(dliFailLoadLib, info).number(), ERROR_MOD_NOT_FOUND);
    EXPECT_FALSE(win32::isDelayLoadFailure(dliNotePreLoadLibrary));
}

TEST(SystemClock, GivesTodaysLocalDate) {
    SYSTEMTIME before{};
    GetLocalTime(&before);
    const Date today = win32::SystemClock().today();
    SYSTEMTIME after{};
    GetLocalTime(&after);

    const bool matchesBefore =
        today.year == before.wYear && today.month == before.wMonth && today.day == before.wDay;
    const bool matchesAfter =
        today.year == after.wYear && today.month == after.wMonth && today.day == after.wDay;
    EXPECT_TRUE(matchesBefore || matchesAfter); // midnight may fall between the readings
    EXPECT_EQ(year(today), today.year);
    EXPECT_EQ(month(today), today.month);
    EXPECT_EQ(day(today), today.day);
}

TEST(ModuleProgramFolder, IsTheExecutablesFolderWithoutATrailingBackslash) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    ASSERT_GT(length, 0u);
    std::wstring expected(path, length);
    expected.resize(expected.rfind(L'\\'));

    const std::wstring folder = win32::ModuleProgramFolder().programFolder();
    EXPECT_EQ(folder, expected);
    EXPECT_NE(folder.back(), L'\\');
}

DWORD runAndWait(const std::wstring& program, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        return GetLastError() | 0x80000000u;
    }
    win32::UniqueKernelHandle processHandle(process.hProcess);
    win32::UniqueKernelHandle threadHandle(process.hThread);
    WaitForSingleObject(process.hProcess, 30000);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    return exitCode;
}

TEST(ExecutablePath, GrowsItsBufferUntilTheWholePathFits) {
    const std::wstring whole = win32::executablePath();
    ASSERT_GT(whole.size(), 8u);
    for (std::size_t initial : {std::size_t{1}, std::size_t{7}, whole.size(), whole.size() + 1}) {
        EXPECT_EQ(win32::executablePath(initial), whole) << initial;
    }
}

// What velkora_probe.dll, loaded from a folder of its own, took its import from: "import from
// <folder>", or "error N" when it could not be loaded. A copy of the import lies in this
// program's folder too, where a planted DLL would.
std::wstring whereTheImportCameFrom(const std::wstring& folder, bool searchFlagsKnown) {
    try {
        const win32::UniqueLibrary probe(
            win32::loadLibraryFrom(folder, L"velkora_probe.dll", searchFlagsKnown));
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(GetModuleHandleW(L"velkora_probe_import.dll"), path, MAX_PATH);
        const std::wstring import = path;
        return L"import from " + import.substr(0, import.rfind(L'\\'));
    } catch (const PlatformError& error) {
        return L"error " + std::to_wstring(error.number());
    }
}

// Windows 7 before KB2533623 knows no search flags: the DLL's own folder (the system
// directory, for a DLL of Windows) is searched first, not the program's. With the flags, only
// the system directory, which has no velkora_probe_import.dll.
TEST(LoadLibraryFrom, TakesTheImportsFromTheSystemOrTheDllsOwnFolderNeverTheProgramsFolder) {
    const TempFolder own(L"velkora-own-folder");
    for (const wchar_t* name : {L"\\velkora_probe.dll", L"\\velkora_probe_import.dll"}) {
        ASSERT_TRUE(CopyFileW((testFolder() + name).c_str(), (own.path() + name).c_str(), FALSE));
    }
    const std::wstring noSuchModule = L"error " + std::to_wstring(ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(whereTheImportCameFrom(own.path(), true), noSuchModule);
    EXPECT_EQ(whereTheImportCameFrom(own.path(), false), L"import from " + own.path());
    // Wine's kernel32, like that of Windows 8 and later, exports AddDllDirectory.
    EXPECT_TRUE(win32::librarySearchFlagsKnown());
}

TEST(ProcessProgramEnd, EndsTheProcessAtOnceWithTheExitCodeGiven) {
    for (const auto& [arguments, exitCode] :
         {std::pair{L"--end 0", 0u}, std::pair{L"--end 1", 1u}}) {
        test::RecordFolder record;
        EXPECT_EQ(runAndWait(test::recorderPath(), arguments), exitCode);
        EXPECT_EQ(record.read().size(), 1u);
        EXPECT_EQ(record.rawText().find(L"survived"), std::wstring::npos);
    }
}

} // namespace
} // namespace velkora::test

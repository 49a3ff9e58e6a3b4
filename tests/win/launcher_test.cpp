#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/win32/shell/launcher.h"
#include "platform/win32/runtime/program_paths.h"
#include "tests/win/test_support.h"
#include "tests/common/test_helpers.h"

namespace velkora::test {
namespace {

using std::chrono::steady_clock;

TEST(ProgramOfCommandLine, TakesABareFirstWordFromTheSystemDirectoryOnly) {
    const std::wstring sys = L"C:\\Windows\\System32";
    EXPECT_EQ(win32::programOfCommandLine(L"cmd /d /cshutdown -r -t 0", sys), sys + L"\\cmd.exe");
    EXPECT_EQ(win32::programOfCommandLine(L"cmd", sys), sys + L"\\cmd.exe");
    EXPECT_EQ(win32::programOfCommandLine(L"\"cmd\" /c x", sys), sys + L"\\cmd.exe");
    EXPECT_EQ(win32::programOfCommandLine(L"shutdown.exe -r", sys), sys + L"\\shutdown.exe");
    EXPECT_EQ(win32::programOfCommandLine(L"CMD\t/c x", sys), sys + L"\\CMD.exe");
}

TEST(ProgramOfCommandLine, UsesAFirstWordWithAFolderAsWritten) {
    const std::wstring sys = L"C:\\Windows\\System32";
    EXPECT_EQ(win32::programOfCommandLine(L"C:\\tools\\x.exe a", sys), L"C:\\tools\\x.exe");
    EXPECT_EQ(win32::programOfCommandLine(L"\"C:\\Program Files\\x.exe\" a", sys),
              L"C:\\Program Files\\x.exe");
    EXPECT_EQ(win32::programOfCommandLine(L"C:\\tools\\x a", sys), L"C:\\tools\\x.exe");
    EXPECT_EQ(win32::programOfCommandLine(L"..\\x.exe", sys), L"..\\x.exe");
}

TEST(ProgramOfCommandLine, RefusesACommandLineWithoutAProgram) {
    for (const wchar_t* line : {L"", L" cmd", L"\"\" x"}) {
        const PlatformError error =
            thrownBy([&] { win32::programOfCommandLine(line, L"C:\\Windows\\System32"); });
        EXPECT_EQ(error.number(), ERROR_INVALID_PARAMETER);
    }
}

// Copies of the recorder named cmd.exe in the current directory and next to the test
// program: where Windows' own search would find them first.
class PlantedInterpreters {
public:
    PlantedInterpreters() {
        wchar_t previous[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, previous);
        previous_ = previous;
        SetCurrentDirectoryW(cwd_.path().c_str());
        planted_ = {cwd_.path() + L"\\cmd.exe", test::testFolder() + L"\\cmd.exe"};
        for (const std::wstring& copy : planted_) {
            copied_ = CopyFileW(test::recorderPath().c_str(), copy.c_str(), FALSE) && copied_;
        }
    }
    ~PlantedInterpreters() {
        SetCurrentDirectoryW(previous_.c_str());
        for (const std::wstring& copy : planted_) {
            DeleteFileW(copy.c_str());
        }
    }
    bool copied() const { return copied_; }

private:
    test::TempFolder cwd_{L"velkora-cwd"};
    std::wstring previous_;
    std::vector<std::wstring> planted_;
    bool copied_ = true;
};

std::wstring withoutTrailingBackslash(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

// The recorder's path as cmd gets it glued to /c: quoted only where it has to be.
std::wstring recorderForCmd() {
    const std::wstring path = test::recorderPath();
    return path.find(L' ') == std::wstring::npos ? path : L"\"" + path + L"\"";
}

TEST(ProcessLauncher, RunsTheSystemInterpreterInTheSystemDirectory) {
    test::RecordFolder record;
    win32::ProcessLauncher().launch(L"cmd /c" + recorderForCmd() + L" a b", 2);

    const std::vector<test::Record> runs = record.waitFor(1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(test::sameIgnoringCase(runs[0].modulePath, test::recorderPath()));
    EXPECT_TRUE(test::sameIgnoringCase(withoutTrailingBackslash(runs[0].currentDirectory),
                                       win32::systemDirectory()))
        << test::toUtf8(runs[0].currentDirectory);
    const std::wstring& line = runs[0].commandLine;
    EXPECT_EQ(line.substr(line.size() - 4), L" a b") << test::toUtf8(line);
}

TEST(ProcessLauncher, NeverRunsAnInterpreterPlantedNextToTheProgramOrInTheCurrentDirectory) {
    PlantedInterpreters planted;
    ASSERT_TRUE(planted.copied());
    test::RecordFolder record;

    win32::ProcessLauncher().launch(L"cmd /c" + recorderForCmd() + L" planted", 2);

    std::vector<test::Record> runs = record.waitFor(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // room for a second run
    runs = record.read();
    ASSERT_EQ(runs.size(), 1u); // a planted cmd.exe would have recorded itself instead
    EXPECT_TRUE(test::sameIgnoringCase(runs[0].modulePath, test::recorderPath()))
        << test::toUtf8(runs[0].modulePath);
}

TEST(ProcessLauncher, ReturnsAtOnceWithTheProcessIdAndPassesTheWindowStyle) {
    test::RecordFolder record;
    const std::wstring commandLine = L"\"" + test::recorderPath() + L"\"  --linger   \"x y\"";

    const auto start = steady_clock::now();
    const unsigned long processId = win32::ProcessLauncher().launch(commandLine, 2);
    const auto elapsed = steady_clock::now() - start;

    win32::UniqueKernelHandle child(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId));
    ASSERT_TRUE(child);
    EXPECT_LT(elapsed, std::chrono::seconds(3));
    EXPECT_EQ(WaitForSingleObject(child.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    const std::vector<test::Record> runs = record.waitFor(1);
    TerminateProcess(child.get(), 0);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].processId, processId);
    EXPECT_EQ(runs[0].commandLine, commandLine); // passed exactly, spaces and quotes included
    EXPECT_TRUE(runs[0].startupFlags & STARTF_USESHOWWINDOW);
    EXPECT_EQ(runs[0].showWindow, static_cast<unsigned long>(SW_SHOWMINIMIZED));
}

TEST(ProcessLauncher, RaisesWhenTheProgramCannotBeStarted) {
    const PlatformError missing =
        thrownBy([&] { win32::ProcessLauncher().launch(L"velkora-no-such-program /c x", 2); });
    EXPECT_EQ(missing.number(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(missing.description().empty());
    EXPECT_EQ(thrownBy([&] { win32::ProcessLauncher().launch(L"cmd /c exit", 5); }).number(),
              ERROR_INVALID_PARAMETER);
}

} // namespace
} // namespace velkora::test

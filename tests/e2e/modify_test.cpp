// The button 修改 from end to end: the boxes, the registry, the restart stand-in.
#include "tests/e2e/e2e_fixture.h"

namespace velkora::test {
namespace {

struct Rejection {
    const char* name;
    const wchar_t* text;
    bool pasted; // put into the field the way a paste does, past the keystroke filter
    const wchar_t* title;
    const wchar_t* prompt;
};

void PrintTo(const Rejection& rejection, std::ostream* out) {
    *out << rejection.name;
}

class RejectedPortTest : public VelkoraTest, public ::testing::WithParamInterface<Rejection> {};

TEST_P(RejectedPortTest, ShowsItsBoxAndChangesNothing) {
    const Rejection& rejection = GetParam();
    const ToolRegistryState before = toolRegistryState();
    const MainWindow window = start();
    ASSERT_NE(window.modifyButton, nullptr);
    if (rejection.pasted) {
        setText(window.portEdit, rejection.text);
    } else {
        type(window, rejection.text);
    }
    clickButton(window.modifyButton);

    const SeenMessageBox box = expectMessageBox();
    ASSERT_NE(box.box, nullptr);
    EXPECT_EQ(box.title, rejection.title);
    EXPECT_EQ(box.prompt, rejection.prompt);
    screenshot(box.box, std::wstring(L"rejected-") +
                            std::wstring(rejection.name, rejection.name + strlen(rejection.name)));
    pressButton(box.box, IDOK);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(box.box); }, 5000));

    EXPECT_TRUE(toolRegistryState() == before) << "the registry changed";
    EXPECT_TRUE(process_->running()) << "the program ended";
    EXPECT_TRUE(IsWindowVisible(window.main));
    EXPECT_EQ(textOf(window.portEdit), rejection.text) << "the field lost its text";
    EXPECT_TRUE(recordedCalls(L"shutdown").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Modify, RejectedPortTest,
    ::testing::Values(
        Rejection{"Empty", L"", false, L"端口不能为空", L"端口不能为空"},
        Rejection{"TooLarge", L"65536", false, L"端口数字过大", L"端口最大值仅支持65535"},
        Rejection{"PastedLetters", L"abc", true, L"端口格式错误", L"端口只能由数字组成"},
        Rejection{"Zero", L"0", false, L"端口数字过小", L"端口最小值为1"}),
    [](const ::testing::TestParamInfo<Rejection>& info) { return std::string(info.param.name); });

class AcceptedPortTest : public VelkoraTest {
protected:
    // Types the port, clicks 修改 and returns the confirmation box, checked for its texts.
    SeenMessageBox changeTo(const MainWindow& window, const std::wstring& port) {
        type(window, port);
        clickButton(window.modifyButton);
        SeenMessageBox box = expectMessageBox();
        EXPECT_EQ(box.title, applicationTitle);
        EXPECT_TRUE(box.prompt == confirmationPrompt) << "the confirmation prompt differs";
        return box;
    }

    // Starts the program, changes the port and presses `answer` in the confirmation; the
    // box, or none (the test failed) when the button or the box was missing.
    SeenMessageBox startAndAnswer(MainWindow& window, const std::wstring& port, int answer) {
        window = start();
        if (window.modifyButton == nullptr) {
            ADD_FAILURE() << "no button 修改";
            return {};
        }
        SeenMessageBox box = changeTo(window, port);
        if (box.box != nullptr) {
            pressButton(box.box, answer);
        }
        return box;
    }

    void expectChangeStored(const std::wstring& port, DWORD number) {
        expectListenerAt(number);
        expectOpenPortEntries(port);
    }
};

TEST_F(AcceptedPortTest, Port888AnsweredNoWritesEverythingAndAsksAgainOnASecondClick) {
    const MainWindow window = start();
    ASSERT_NE(window.modifyButton, nullptr);
    SeenMessageBox box = changeTo(window, L"888");
    ASSERT_NE(box.box, nullptr);
    EXPECT_EQ(withoutMnemonic(buttonText(box.box, IDYES)), L"是");
    EXPECT_EQ(withoutMnemonic(buttonText(box.box, IDNO)), L"否");
    screenshot(box.box, L"confirmation");
    expectChangeStored(L"888", 888); // written before the question is asked
    pressButton(box.box, IDNO);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(box.box); }, 5000));

    clickButton(window.modifyButton);
    box = expectMessageBox();
    EXPECT_TRUE(box.prompt == confirmationPrompt);
    pressButton(box.box, IDNO);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(box.box); }, 5000));

    expectChangeStored(L"888", 888);
    Sleep(500);
    EXPECT_TRUE(recordedCalls(L"shutdown").empty()) << "No started a restart";
    EXPECT_TRUE(process_->running());
    EXPECT_TRUE(IsWindowVisible(window.main));
}

TEST_F(AcceptedPortTest, Port080KeepsItsLeadingZeroInTheOpenPortEntries) {
    MainWindow window;
    const SeenMessageBox box = startAndAnswer(window, L"080", IDNO);
    ASSERT_NE(box.box, nullptr);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(box.box); }, 5000));
    expectChangeStored(L"080", 80);
    EXPECT_FALSE(readValue(standardOpenPortsKey, L"80:TCP ").has_value());
}

TEST_F(AcceptedPortTest, Port888AnsweredYesStartsTheRestartAndTheWindowStays) {
    MainWindow window;
    ASSERT_NE(startAndAnswer(window, L"888", IDYES).box, nullptr);

    const auto calls = waitForRecordedCalls(L"shutdown", 1, waitMs);
    ASSERT_EQ(calls.size(), 1u) << "the restart command did not reach shutdown.exe";
    EXPECT_TRUE(calls[0] == L"-r -t 0") << "shutdown.exe got other arguments";
    expectChangeStored(L"888", 888);
    EXPECT_TRUE(process_->running());
    EXPECT_TRUE(IsWindowVisible(window.main));
    screenshot(window.main, L"after-restart-requested");
}

// Wine takes a program's language from the Unix locale it starts in, which only the caller of
// this test program can set: CTest runs this test once more under LANG=C.UTF-8.
TEST_F(AcceptedPortTest, ConfirmationButtonsReadYesNoInChineseOnAnEnglishSystem) {
    if (PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE) {
        GTEST_SKIP() << "needs a non-Chinese locale (LANG=C.UTF-8)";
    }
    // The programs started from here run in English too: a stand-in tells which it saw.
    ChildProcess probe(driverFolder() + L"\\browser_standin.exe", L"probe");
    ASSERT_TRUE(probe.started());
    probe.waitForExit(waitMs);
    const auto languages = recordedLanguages(L"browser_standin");
    ASSERT_EQ(languages.size(), 1u);
    EXPECT_NE(languages[0].substr(2), L"04") << "the started program runs in Chinese";

    const MainWindow window = start();
    ASSERT_NE(window.modifyButton, nullptr);
    const SeenMessageBox box = changeTo(window, L"888");
    ASSERT_NE(box.box, nullptr);
    screenshot(box.box, L"confirmation-english-system");
    EXPECT_EQ(withoutMnemonic(buttonText(box.box, IDYES)), L"是");
    EXPECT_EQ(withoutMnemonic(buttonText(box.box, IDNO)), L"否");
    pressButton(box.box, IDNO);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(box.box); }, 5000));
}

} // namespace
} // namespace velkora::test

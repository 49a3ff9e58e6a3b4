// The button 修改 with a port another program holds: the warning box before any write.
// Under Wine the owner of a socket is never named (Wine 8 reports process 0), so the box
// says 其他程序; the naming of images and services is tested against a fake.
#include "tests/e2e/held_port.h" // first: it brings <winsock2.h>, which comes before <windows.h>

#include "tests/e2e/e2e_fixture.h"

namespace velkora::test {
namespace {

class HeldPortTest : public VelkoraTest {
protected:
    void SetUp() override {
        VelkoraTest::SetUp();
        ASSERT_NE(held_.port(), 0) << "could not hold a port";
        seedListener({held_.text()});
    }
    void TearDown() override { seedListener({held_.text()}); }

    HeldPort held_;
};

TEST_F(HeldPortTest, WarnsWithNoAsDefaultNoWritesNothingYesWritesAsUsual) {
    const ToolRegistryState before = toolRegistryState();
    const MainWindow window = start();
    ASSERT_NE(window.modifyButton, nullptr);
    type(window, held_.text());
    for (int answer : {IDNO, IDYES}) {
        clickButton(window.modifyButton);
        const SeenMessageBox box = expectMessageBox();
        ASSERT_NE(box.box, nullptr);
        EXPECT_EQ(box.title, applicationTitle);
        EXPECT_TRUE(box.prompt == L"端口 " + held_.text() +
                                      L" 已被 其他程序占用，远程桌面将无法在此端口监听。\r\n"
                                      L"仍要修改吗？")
            << "the warning differs";
        EXPECT_EQ(withoutMnemonic(buttonText(box.box, IDNO)), L"否");
        // MB_DEFBUTTON2: 否 is the default push button and has the focus. (Wine's DM_GETDEFID
        // answers IDOK for every message box, so the button itself is asked.)
        const HWND no = GetDlgItem(box.box, IDNO);
        EXPECT_EQ(GetWindowLongW(no, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
        GUITHREADINFO thread{};
        thread.cbSize = sizeof(thread);
        GetGUIThreadInfo(GetWindowThreadProcessId(box.box, nullptr), &thread);
        EXPECT_EQ(thread.hwndFocus, no);
        if (answer == IDNO) {
            screenshot(box.box, L"lockout-warning");
        }
        pressButton(box.box, answer);
        EXPECT_TRUE(waitUntil([&] { return !IsWindow(box.box); }, 5000));
        if (answer == IDNO) {
            EXPECT_FALSE(waitForMessageBox(process_->id(), 1000).has_value()) << "a box after 否";
            EXPECT_TRUE(toolRegistryState() == before) << "否 changed the registry";
            EXPECT_EQ(textOf(window.portEdit), held_.text()) << "the field lost its text";
        }
    }
    const SeenMessageBox confirmation = expectMessageBox();
    EXPECT_TRUE(confirmation.prompt == confirmationPrompt) << "是 did not go on as usual";
    expectListenerAt(held_.port());
    expectOpenPortEntries(held_.text());
    pressButton(confirmation.box, IDNO);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(confirmation.box); }, 5000));
    EXPECT_TRUE(process_->running());
}

} // namespace
} // namespace velkora::test

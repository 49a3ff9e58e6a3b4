// The window's Modify command and another change in progress (the command line's, here held
// by the test): the error report with 1618, and nothing written.
#include "tests/e2e/e2e_fixture.h"

namespace velkora::test {
namespace {

TEST_F(VelkoraTest, ModifyWhileAnotherChangeHoldsTheLockReports1618AndWritesNothing) {
    const ToolRegistryState before = toolRegistryState();
    HeldPortChangeLock lock;
    const MainWindow window = start();
    ASSERT_NE(window.modifyButton, nullptr);
    type(window, L"888");
    const ULONGLONG clicked = GetTickCount64();
    clickButton(window.modifyButton);

    SeenMessageBox box = expectMessageBox();
    const ULONGLONG waited = GetTickCount64() - clicked;
    lock.release();
    ASSERT_NE(box.box, nullptr);
    // The window's thread has just waited 10 s: the system takes it for hung a moment longer.
    waitUntil([&] { return (box.title = textOf(box.box)) != L"<no answer>"; }, 5000);
    box.prompt = textOf(GetDlgItem(box.box, 0xFFFF));
    EXPECT_EQ(box.title, applicationTitle);
    EXPECT_TRUE(box.prompt == L"运行时错误 '1618':\r\n\r\n另一个端口修改正在进行，请稍后再试。")
        << "the error report differs";
    EXPECT_GE(waited, 9500u) << "gave up before waiting 10 s";
    screenshot(box.box, L"another-change-in-progress");
    pressButton(box.box, IDOK);
    EXPECT_TRUE(process_->waitForExit(5000)) << "the program did not end after the report";
    EXPECT_TRUE(toolRegistryState() == before) << "the registry changed";
}

} // namespace
} // namespace velkora::test

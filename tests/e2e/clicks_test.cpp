// The mouse: which clicks open the website, and the ways the program ends.
#include "tests/e2e/e2e_fixture.h"

namespace velkora::test {
namespace {

const std::wstring website = L"https://harnoq.example/";
// From the click until the browser runs: the desktop's shell starts it within this under Wine,
// on a machine shared with builds.
constexpr DWORD websiteOpensMs = 2000;

POINT onScreen(HWND window, POINT clientPoint) {
    ClientToScreen(window, &clientPoint);
    return clientPoint;
}

POINT centreOnScreen(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return centreOf(rect);
}

TEST_F(VelkoraTest, OnlyClicksOnTheWindowsOwnSurfaceOpenTheWebsite) {
    const MainWindow window = start();
    ASSERT_NE(window.notice, nullptr);

    mouseClickAt(centreOnScreen(window.creditLine));
    mouseClickAt(centreOnScreen(window.notice));
    mouseClickAt(centreOnScreen(window.currentPortCaption));
    // The empty inside of the frame: right of the notice, below 退出 (4300, 1950 twips).
    mouseClickAt(onScreen(window.portFrame, {287, 130}));
    Sleep(1500);
    EXPECT_TRUE(recordedCalls(L"browser_standin").empty())
        << "a click on a label or inside the frame opened the website";

    mouseClickAt(onScreen(window.main, {150, 30})); // the banner
    auto calls = waitForRecordedCalls(L"browser_standin", 1, websiteOpensMs);
    ASSERT_EQ(calls.size(), 1u) << "a click on the banner did not open the website in time";
    EXPECT_TRUE(calls[0] == website) << "the browser got another address";

    mouseClickAt(onScreen(window.main, {3, 150})); // the free margin left of the frame
    calls = waitForRecordedCalls(L"browser_standin", 2, websiteOpensMs);
    EXPECT_EQ(calls.size(), 2u) << "a click on the free margin did not open the website in time";
    EXPECT_TRUE(process_->running());
}

TEST_F(VelkoraTest, CreditLineShowsTheMakersCreditAsATooltip) {
    const MainWindow window = start();
    ASSERT_NE(window.creditLine, nullptr);
    const POINT over = centreOnScreen(window.creditLine);
    SetCursorPos(over.x - 2, over.y);
    Sleep(100);
    SetCursorPos(over.x, over.y);
    HWND shown = nullptr;
    EXPECT_TRUE(waitUntil(
        [&] {
            for (HWND tip : topLevelWindowsOf(process_->id(), L"tooltips_class32")) {
                if (IsWindowVisible(tip)) {
                    shown = tip;
                    return true;
                }
            }
            return false;
        },
        5000))
        << "no tooltip over the credit line";
    if (shown != nullptr) {
        RECT main{}, tip{}, both{};
        GetWindowRect(window.main, &main);
        GetWindowRect(shown, &tip);
        UnionRect(&both, &main, &tip);
        ScreenImage::capture(both).save(L"tooltip");
    }
}

// The tooltip is made after the window is shown, from a message the program handles before
// it first waits for input.
TEST_F(VelkoraTest, Label5sTooltipExistsOnceTheProgramIsIdle) {
    start();
    ASSERT_TRUE(process_->waitForIdle(waitMs));
    EXPECT_EQ(topLevelWindowsOf(process_->id(), L"tooltips_class32").size(), 1u);
}

TEST_F(VelkoraTest, ExitEndsTheProgramAtOnceWithoutAQuestion) {
    const MainWindow window = start();
    ASSERT_NE(window.exitButton, nullptr);
    clickButton(window.exitButton);
    EXPECT_TRUE(process_->waitForExit(5000)) << "退出 did not end the program";
    EXPECT_EQ(process_->exitCode(), 0u);
}

TEST_F(VelkoraTest, ClosingTheWindowEndsTheProgram) {
    const MainWindow window = start();
    ASSERT_NE(window.main, nullptr);
    PostMessageW(window.main, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(process_->waitForExit(5000)) << "closing the window did not end the program";
    EXPECT_EQ(process_->exitCode(), 0u);
}

} // namespace
} // namespace velkora::test

// The main window as the user sees it: size, captions, texts, positions, colours, DPI.
#include <cmath>

#include "tests/e2e/e2e_fixture.h"

namespace velkora::test {
namespace {

const std::wstring notice =
    L"端口最大值为65535，请修改未使用的端口。本软件会自动添加新端口到防火墙例外。"
    L"修改完成软件会提示重启才能生效！";

std::wstring dateLine(const SYSTEMTIME& day) {
    return L" " + std::to_wstring(day.wYear) + L"年" + std::to_wstring(day.wMonth) + L"月" +
           std::to_wstring(day.wDay) + L"日" + std::wstring(20, L' ') + L"BY：Harnoq";
}

int pixelsAt(int twips, int dpi) {
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

// The designed rectangles, in twips; those inside the frame relative to the frame.
struct DesignedRect {
    const char* name;
    HWND MainWindow::*control;
    bool insideFrame;
    int left, top, width, height;
};
const DesignedRect designed[] = {
    {"portFrame", &MainWindow::portFrame, false, 120, 970, 4415, 2160},
    {"currentPortCaption", &MainWindow::currentPortCaption, true, 120, 360, 1335, 255},
    {"newPortCaption", &MainWindow::newPortCaption, true, 120, 840, 1335, 255},
    {"portEdit", &MainWindow::portEdit, true, 1440, 780, 1095, 270},
    {"currentPortLabel", &MainWindow::currentPortLabel, true, 1440, 360, 975, 255},
    {"creditLine", &MainWindow::creditLine, false, 120, 3140, 4575, 255},
    {"notice", &MainWindow::notice, true, 120, 1200, 2655, 855},
    {"modifyButton", &MainWindow::modifyButton, true, 3000, 730, 1215, 375},
    {"exitButton", &MainWindow::exitButton, true, 3000, 1440, 1215, 375},
};

void expectDesignedRectangles(const MainWindow& window, int dpi, int tolerance) {
    for (const DesignedRect& row : designed) {
        HWND control = window.*row.control;
        ASSERT_NE(control, nullptr) << row.name << " not found";
        const RECT actual = rectIn(control, row.insideFrame ? window.portFrame : window.main);
        EXPECT_NEAR(actual.left, pixelsAt(row.left, dpi), tolerance) << row.name;
        EXPECT_NEAR(actual.top, pixelsAt(row.top, dpi), tolerance) << row.name;
        EXPECT_NEAR(actual.right - actual.left, pixelsAt(row.width, dpi), tolerance) << row.name;
        EXPECT_NEAR(actual.bottom - actual.top, pixelsAt(row.height, dpi), tolerance) << row.name;
    }
}

TEST_F(VelkoraTest, WindowHasTheDesignedClientSizeIsCentredAndCannotBeResized) {
    const MainWindow window = start();
    ASSERT_NE(window.main, nullptr);
    RECT client{};
    GetClientRect(window.main, &client);
    EXPECT_EQ(client.right, 309);
    EXPECT_EQ(client.bottom, 223);

    const LONG style = GetWindowLongW(window.main, GWL_STYLE);
    EXPECT_EQ(style & WS_THICKFRAME, 0) << "resizable";
    EXPECT_EQ(style & WS_MAXIMIZEBOX, 0) << "maximizable";
    EXPECT_NE(style & WS_MINIMIZEBOX, 0) << "cannot be minimized";

    RECT work{}, outer{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(window.main, &outer);
    EXPECT_NEAR(outer.left + outer.right, work.left + work.right, 2) << "not centred across";
    EXPECT_NEAR(outer.top + outer.bottom, work.top + work.bottom, 2) << "not centred down";
    screenshot(window.main, L"window-96dpi");
}

TEST_F(VelkoraTest, ControlsShowTheirCaptionsAndTheStartUpTexts) {
    SYSTEMTIME before{};
    GetLocalTime(&before);
    const MainWindow window = start();
    SYSTEMTIME after{};
    GetLocalTime(&after);
    ASSERT_NE(window.portFrame, nullptr);

    EXPECT_EQ(textOf(window.portFrame), L"Velkora");
    EXPECT_NE(window.groupBox, nullptr) << "no group frame captioned Velkora";
    EXPECT_NE(window.currentPortCaption, nullptr) << "no label 当前远程端口：";
    EXPECT_NE(window.newPortCaption, nullptr) << "no label 输入更改端口：";
    EXPECT_NE(window.currentPortLabel, nullptr) << "the current port 3389 is not shown";
    EXPECT_NE(window.modifyButton, nullptr) << "no button 修改";
    EXPECT_NE(window.exitButton, nullptr) << "no button 退出";
    ASSERT_NE(window.portEdit, nullptr);
    EXPECT_EQ(textOf(window.portEdit), L"");
    EXPECT_GE(static_cast<DWORD>(SendMessageW(window.portEdit, EM_GETLIMITTEXT, 0, 0)), 0x7FFFFFFEu)
        << "the port field has a length limit";

    const std::wstring credit = textOf(window.creditLine);
    EXPECT_TRUE(credit == dateLine(before) || credit == dateLine(after))
        << "the credit line reads [" << credit.size() << "]";
    EXPECT_TRUE(textOf(window.notice) == notice) << "the notice label does not hold the notice";
}

TEST_F(VelkoraTest, ControlsSitAtTheirDesignedRectanglesAt96Dpi) {
    const MainWindow window = start();
    ASSERT_NE(window.portFrame, nullptr);
    expectDesignedRectangles(window, 96, 1);
}

TEST_F(VelkoraTest, LabelColoursBannerAndBackgroundAppearOnScreen) {
    const MainWindow window = start();
    ASSERT_NE(window.notice, nullptr);
    ASSERT_NE(window.currentPortLabel, nullptr);
    const ScreenImage image = captureWindow(window.main);
    image.save(L"window-colours");

    RECT caption{}, currentPort{}, noticeRect{};
    GetWindowRect(window.currentPortCaption, &caption);
    GetWindowRect(window.currentPortLabel, &currentPort);
    GetWindowRect(window.notice, &noticeRect);
    const COLORREF navy = RGB(0, 0, 128);
    const COLORREF red = RGB(192, 0, 0);
    EXPECT_GT(image.count(currentPort, navy), 8)
        << "the current port is not drawn in RGB(0, 0, 128)";
    EXPECT_GT(image.count(noticeRect, red), 40) << "the notice is not drawn in RGB(192, 0, 0)";
    EXPECT_EQ(image.count(caption, navy) + image.count(caption, red), 0)
        << "the current port's caption is coloured";
    EXPECT_EQ(image.count(noticeRect, navy), 0);

    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const RECT client = clientRectOnScreen(window.main);
    const int bannerBottom = client.top + 66;
    EXPECT_NE(image.at({client.left + 2, client.top + 2}), face) << "no banner at the top left";
    EXPECT_NE(image.at({client.right - 3, client.top + 2}), face) << "banner short of the right";
    EXPECT_NE(image.at({client.right - 3, bannerBottom - 3}), face) << "banner not full height";
    EXPECT_EQ(image.at({client.left + 3, bannerBottom + 40}), face) << "margin not button face";
    EXPECT_EQ(image.at({client.right - 3, client.bottom - 3}), face) << "margin not button face";
}

TEST_F(VelkoraTest, At144DpiTheWindowControlsAndBannerScale) {
    const ScopedValue highDpi(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels",
                              dwordValue(144));
    const MainWindow window = start();
    ASSERT_NE(window.main, nullptr);
    screenshot(window.main, L"window-144dpi");

    RECT client{};
    GetClientRect(window.main, &client);
    EXPECT_EQ(client.right, 464);  // 4635 twips at 144 dpi
    EXPECT_EQ(client.bottom, 335); // 3345 twips
    expectDesignedRectangles(window, 144, 2);

    const ScreenImage image = captureWindow(window.main);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const RECT onScreen = clientRectOnScreen(window.main);
    EXPECT_NE(image.at({onScreen.right - 3, onScreen.top + 3}), face)
        << "banner short of the right";
    EXPECT_NE(image.at({onScreen.right - 3, onScreen.top + 96}), face) << "banner not scaled down";
    EXPECT_EQ(image.at({onScreen.left + 4, onScreen.top + 160}), face) << "margin not button face";
}

} // namespace
} // namespace velkora::test

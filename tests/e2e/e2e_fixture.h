#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/e2e/e2e_environment.h"
#include "tests/e2e/e2e_process.h"
#include "tests/common/registry_values.h"
#include "tests/e2e/e2e_screen.h"
#include "tests/e2e/e2e_windows.h"

namespace velkora::test {

// The controls of the main window, found from outside by class, caption and place.
struct MainWindow {
    HWND main = nullptr;
    HWND portFrame = nullptr;
    HWND groupBox = nullptr;
    HWND currentPortCaption = nullptr;
    HWND currentPortLabel = nullptr;
    HWND newPortCaption = nullptr;
    HWND creditLine = nullptr;
    HWND notice = nullptr;
    HWND portEdit = nullptr;
    HWND modifyButton = nullptr;
    HWND exitButton = nullptr;
};

// Port texts whose open-port entries the tests may create; forgotten before each test.
inline const std::vector<std::wstring> portTextsUsed{L"888", L"080", L"0", L"65536", L"abc"};

inline const std::wstring confirmationPrompt = L"端口修改成功，请重启计算机生效！\r\n"
                                               L"点“是”则自动重启计算机\r\n"
                                               L"点“否”则您手动重启计算机";
inline const std::wstring applicationTitle = L"Velkora工具";
inline constexpr DWORD waitMs = 15000;

class VelkoraTest : public ::testing::Test {
protected:
    void SetUp() override;

    // Starts velkora.exe and waits for its window; fails the test if it does not appear.
    MainWindow start();
    // Starts velkora.exe for a start-up that must fail: the error box it shows (a failure
    // if none appears), and whether its main window was ever seen meanwhile.
    std::optional<SeenMessageBox> startExpectingError(bool& windowShown);
    // The box the program shows next, or a failure if none appears in time.
    SeenMessageBox expectMessageBox();
    // Saves a screenshot of the whole screen area of the window.
    void screenshot(HWND window, const std::wstring& name);
    // Types a text into the port field character by character.
    void type(const MainWindow& window, const std::wstring& text);

    std::optional<VelkoraProcess> process_;
};

// A button caption without its mnemonic marks: "&Yes" -> "Yes", "是(&Y)" -> "是".
std::wstring withoutMnemonic(const std::wstring& caption);

} // namespace velkora::test

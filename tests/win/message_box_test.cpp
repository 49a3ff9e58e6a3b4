#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "platform/win32/shell/message_box.h"
#include "tests/win/test_support.h"

namespace velkora::test {
namespace {

using namespace std::chrono_literals;

// What another thread saw of a box before it pressed one of its buttons.
struct SeenBox {
    bool found = false;
    std::wstring prompt;
    std::wstring yes, no, ok;
    HWND owner = nullptr;
};

std::wstring textOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

std::wstring buttonText(HWND box, int id) {
    HWND button = GetDlgItem(box, id);
    return button ? textOf(button) : std::wstring(L"<none>");
}

// Waits for the box with this title, lets its activation settle (the captions are set
// then), reads it and presses `button`.
SeenBox answer(const std::wstring& title, int button, const std::wstring& settledCaption) {
    SeenBox seen;
    HWND box = nullptr;
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (!(box = FindWindowW(L"#32770", title.c_str())) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    if (!box) {
        return seen;
    }
    seen.found = true;
    const auto settle = std::chrono::steady_clock::now() + 3s;
    while (buttonText(box, button) != settledCaption && std::chrono::steady_clock::now() < settle) {
        std::this_thread::sleep_for(20ms);
    }
    wchar_t prompt[1024] = {};
    GetDlgItemTextW(box, 0xFFFF, prompt, 1024);
    seen.prompt = prompt;
    seen.yes = buttonText(box, IDYES);
    seen.no = buttonText(box, IDNO);
    seen.ok = buttonText(box, IDOK);
    seen.owner = GetWindow(box, GW_OWNER);
    SendMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
    return seen;
}

const std::wstring confirmation = L"端口修改成功，请重启计算机生效！\r\n"
                                  L"点“是”则自动重启计算机\r\n"
                                  L"点“否”则您手动重启计算机";

TEST(SystemMessageBox, YesNoBoxReadsShiAndFouAndGivesSixForYes) {
    auto seen = std::async(std::launch::async, answer, applicationTitle, IDYES, L"是");
    const int reply = win32::SystemMessageBox().messageBox(
        confirmation, MessageBoxStyle::YesNoInformation, std::nullopt);
    const SeenBox box = seen.get();

    ASSERT_TRUE(box.found) << "no box titled Velkora工具";
    EXPECT_EQ(reply, MessageBoxReply::Yes);
    EXPECT_EQ(box.prompt, confirmation);
    EXPECT_EQ(box.yes, L"是");
    EXPECT_EQ(box.no, L"否");
}

TEST(SystemMessageBox, YesNoBoxGivesSevenForNo) {
    auto seen = std::async(std::launch::async, answer, applicationTitle, IDNO, L"否");
    const int reply = win32::SystemMessageBox().messageBox(
        L"重启？", MessageBoxStyle::YesNoInformation, std::nullopt);
    const SeenBox box = seen.get();

    ASSERT_TRUE(box.found);
    EXPECT_EQ(reply, MessageBoxReply::No);
    EXPECT_EQ(box.no, L"否");
}

TEST(SystemMessageBox, OkBoxReadsQueDingWithTheTitleGivenAndGivesOne) {
    for (int style : {MessageBoxStyle::OkExclamation, MessageBoxStyle::OkCritical}) {
        auto seen = std::async(std::launch::async, answer, L"端口不能为空", IDOK, L"确定");
        const int reply =
            win32::SystemMessageBox().messageBox(L"请输入端口", style, L"端口不能为空");
        const SeenBox box = seen.get();

        ASSERT_TRUE(box.found) << style;
        EXPECT_EQ(reply, MessageBoxReply::Ok);
        EXPECT_EQ(box.prompt, L"请输入端口");
        EXPECT_EQ(box.ok, L"确定");
    }
}

TEST(SystemMessageBox, BelongsToTheOwnerWindowSet) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"Velkora owner", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    win32::SystemMessageBox messages;
    messages.setOwnerWindow(owner);

    auto seen = std::async(std::launch::async, answer, L"owned", IDOK, L"确定");
    messages.messageBox(L"x", MessageBoxStyle::OkExclamation, L"owned");
    const SeenBox box = seen.get();
    DestroyWindow(owner);

    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.owner, owner);
}

// The system's own captions are not the bare 是 (Wine's Chinese reads 是(&Y), its English
// &Yes), so a plain box afterwards shows whether the renaming stopped with our call.
TEST(SystemMessageBox, RenamesOnlyItsOwnBoxes) {
    win32::SystemMessageBox messages;
    auto first = std::async(std::launch::async, answer, L"ours", IDYES, L"是");
    messages.messageBox(L"x", MessageBoxStyle::YesNoInformation, L"ours");
    ASSERT_TRUE(first.get().found);

    auto plain = std::async(std::launch::async, answer, L"plain", IDYES, L"<never>");
    MessageBoxW(nullptr, L"x", L"plain", MB_YESNO | MB_SETFOREGROUND);
    const SeenBox box = plain.get();

    ASSERT_TRUE(box.found);
    EXPECT_NE(box.yes, L"是") << "the system's own caption";
    EXPECT_NE(box.no, L"否");
    wchar_t expected[64] = {};
    if (GetEnvironmentVariableW(L"VELKORA_SYSTEM_YES_CAPTION", expected, 64) > 0) {
        EXPECT_EQ(box.yes, expected) << "not running in the locale this run is meant for";
    }
}

} // namespace
} // namespace velkora::test

// The keyboard: where the focus starts, where Tab takes it, what the port field lets in.
#include "tests/e2e/e2e_fixture.h"

namespace velkora::test {
namespace {

void putOnClipboard(const std::wstring& text) {
    if (!OpenClipboard(nullptr)) {
        return;
    }
    EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (memory != nullptr) {
        memcpy(GlobalLock(memory), text.c_str(), bytes);
        GlobalUnlock(memory);
        if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

TEST_F(VelkoraTest, FocusStartsInThePortFieldAndTabWalksPortFieldModifyExit) {
    const MainWindow window = start();
    ASSERT_NE(window.exitButton, nullptr);
    EXPECT_TRUE(waitUntil([&] { return focusOf(window.main) == window.portEdit; }, 3000))
        << "the focus does not start in the port field";

    const HWND order[] = {window.modifyButton, window.exitButton, window.portEdit,
                          window.modifyButton};
    for (HWND next : order) {
        postKey(focusOf(window.main), VK_TAB);
        EXPECT_TRUE(waitUntil([&] { return focusOf(window.main) == next; }, 3000))
            << "Tab went to [" << classOf(focusOf(window.main)).size() << "] instead";
    }
}

TEST_F(VelkoraTest, OnlyDigitsAndBackspaceReachThePortField) {
    const MainWindow window = start();
    ASSERT_NE(window.portEdit, nullptr);

    type(window, L"a-. +e,Z\r\x1b\x03\x18");
    type(window, L"\xFF18\x0663"); // a full-width eight and an Arabic-Indic three
    EXPECT_EQ(textOf(window.portEdit), L"");

    type(window, L"8x8y8");
    EXPECT_EQ(textOf(window.portEdit), L"888");
    typeCharacter(window.portEdit, L'\b');
    EXPECT_EQ(textOf(window.portEdit), L"88");

    // Ctrl+V arrives as the character 22; it is discarded like any other control character.
    putOnClipboard(L"12ab");
    typeCharacter(window.portEdit, 22);
    EXPECT_EQ(textOf(window.portEdit), L"88");
}

TEST_F(VelkoraTest, EnterAndEscapeDoNothing) {
    const MainWindow window = start();
    ASSERT_NE(window.portEdit, nullptr);
    type(window, L"123");
    postKey(window.portEdit, VK_RETURN);
    postKey(window.portEdit, VK_ESCAPE);
    postKey(window.modifyButton, VK_ESCAPE);
    // A digit posted after the keys arrives only once they have been handled.
    PostMessageW(window.portEdit, WM_CHAR, L'4', 1);
    EXPECT_TRUE(waitUntil([&] { return textOf(window.portEdit) == L"1234"; }, 3000));
    Sleep(300);

    EXPECT_FALSE(waitForMessageBox(process_->id(), 0).has_value()) << "a key opened a box";
    EXPECT_TRUE(process_->running());
    EXPECT_TRUE(IsWindowVisible(window.main));
}

} // namespace
} // namespace velkora::test

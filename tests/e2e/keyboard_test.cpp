// The keyboard: where the focus starts, where Tab takes it, what the port field lets in.
#include "e2e_fixture.h"

namespace e2e {
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

TEST_F(VelkoraTest, FocusStartsInText1AndTabWalksText1ModifyExit) {
    const MainWindow window = start();
    ASSERT_NE(window.command2, nullptr);
    EXPECT_TRUE(waitUntil([&] { return focusOf(window.form) == window.text1; }, 3000))
        << "the focus does not start in Text1";

    const HWND order[] = {window.command1, window.command2, window.text1, window.command1};
    for (HWND next : order) {
        postKey(focusOf(window.form), VK_TAB);
        EXPECT_TRUE(waitUntil([&] { return focusOf(window.form) == next; }, 3000))
            << "Tab went to [" << classOf(focusOf(window.form)).size() << "] instead";
    }
}

TEST_F(VelkoraTest, OnlyDigitsAndBackspaceReachThePortField) {
    const MainWindow window = start();
    ASSERT_NE(window.text1, nullptr);

    type(window, L"a-. +e,Z\r\x1b\x03\x18");
    type(window, L"\xFF18\x0663"); // a full-width eight and an Arabic-Indic three
    EXPECT_EQ(textOf(window.text1), L"");

    type(window, L"8x8y8");
    EXPECT_EQ(textOf(window.text1), L"888");
    typeCharacter(window.text1, L'\b');
    EXPECT_EQ(textOf(window.text1), L"88");

    // Ctrl+V arrives as the character 22; it is discarded like any other control character.
    putOnClipboard(L"12ab");
    typeCharacter(window.text1, 22);
    EXPECT_EQ(textOf(window.text1), L"88");
}

TEST_F(VelkoraTest, EnterAndEscapeDoNothing) {
    const MainWindow window = start();
    ASSERT_NE(window.text1, nullptr);
    type(window, L"123");
    postKey(window.text1, VK_RETURN);
    postKey(window.text1, VK_ESCAPE);
    postKey(window.command1, VK_ESCAPE);
    // A digit posted after the keys arrives only once they have been handled.
    PostMessageW(window.text1, WM_CHAR, L'4', 1);
    EXPECT_TRUE(waitUntil([&] { return textOf(window.text1) == L"1234"; }, 3000));
    Sleep(300);

    EXPECT_FALSE(waitForMessageBox(process_->id(), 0).has_value()) << "a key opened a box";
    EXPECT_TRUE(process_->running());
    EXPECT_TRUE(IsWindowVisible(window.form));
}

} // namespace
} // namespace e2e

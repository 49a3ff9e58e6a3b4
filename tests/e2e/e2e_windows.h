#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/common/test_helpers.h"

namespace velkora::test {

// Windows of another process, seen from outside: found by process, class and text, read
// with messages the system carries across processes.
std::vector<HWND> topLevelWindowsOf(DWORD processId, const wchar_t* className = nullptr);
std::vector<HWND> descendantsOf(HWND root);
HWND findDescendant(HWND root, const std::wstring& className, const std::wstring& text);
HWND findDescendantByClass(HWND root, const std::wstring& className);

std::wstring textOf(HWND window);
std::wstring classOf(HWND window);
void setText(HWND window, const std::wstring& text);

// The window rectangle of `window` in the client coordinates of `container`.
RECT rectIn(HWND window, HWND container);
RECT clientRectOnScreen(HWND window);
POINT centreOf(const RECT& rect);

struct SeenMessageBox {
    HWND box = nullptr;
    std::wstring title;
    std::wstring prompt;
};
std::optional<SeenMessageBox> waitForMessageBox(DWORD processId, DWORD timeoutMs);
// Presses a button of a message box (IDOK, IDYES, IDNO) without waiting for it.
void pressButton(HWND box, int buttonId);
std::wstring buttonText(HWND box, int buttonId);

// The window of that thread that has the keyboard focus.
HWND focusOf(HWND anyWindowOfThread);
// Posts a key press and release, as the message loop of the program would receive them.
void postKey(HWND target, UINT virtualKey);
// Sends one typed character to a window.
void typeCharacter(HWND target, wchar_t character);
// Clicks a push button through its message queue, so that a modal box it opens does not
// block the caller.
void clickButton(HWND button);
// A real left click (press and release) at a point of the screen.
void mouseClickAt(POINT screenPoint);

} // namespace velkora::test

#include "tests/e2e/e2e_windows.h"

namespace velkora::test {

namespace {

constexpr UINT crossProcessTimeoutMs = 5000;
constexpr int messageBoxTextId = 0xFFFF;

struct TopLevelSearch {
    DWORD processId;
    const wchar_t* className;
    std::vector<HWND> found;
};

BOOL CALLBACK collectTopLevel(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<TopLevelSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId &&
        (search->className == nullptr || classOf(window) == search->className)) {
        search->found.push_back(window);
    }
    return TRUE;
}

BOOL CALLBACK collectChild(HWND window, LPARAM context) {
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

} // namespace

std::vector<HWND> topLevelWindowsOf(DWORD processId, const wchar_t* className) {
    TopLevelSearch search{processId, className, {}};
    EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> descendantsOf(HWND root) {
    std::vector<HWND> found;
    EnumChildWindows(root, collectChild, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND findDescendant(HWND root, const std::wstring& className, const std::wstring& text) {
    for (HWND window : descendantsOf(root)) {
        if (_wcsicmp(classOf(window).c_str(), className.c_str()) == 0 && textOf(window) == text) {
            return window;
        }
    }
    return nullptr;
}

HWND findDescendantByClass(HWND root, const std::wstring& className) {
    for (HWND window : descendantsOf(root)) {
        if (_wcsicmp(classOf(window).c_str(), className.c_str()) == 0) {
            return window;
        }
    }
    return nullptr;
}

std::wstring textOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG,
                             crossProcessTimeoutMs, &length)) {
        return L"<no answer>";
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, crossProcessTimeoutMs, &copied);
    text.resize(copied);
    return text;
}

std::wstring classOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

void setText(HWND window, const std::wstring& text) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                        SMTO_ABORTIFHUNG, crossProcessTimeoutMs, &result);
}

RECT rectIn(HWND window, HWND container) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, container, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

RECT clientRectOnScreen(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

POINT centreOf(const RECT& rect) {
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

std::optional<SeenMessageBox> waitForMessageBox(DWORD processId, DWORD timeoutMs) {
    std::optional<SeenMessageBox> seen;
    waitUntil(
        [&] {
            for (HWND box : topLevelWindowsOf(processId, L"#32770")) {
                if (IsWindowVisible(box)) {
                    seen =
                        SeenMessageBox{box, textOf(box), textOf(GetDlgItem(box, messageBoxTextId))};
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return seen;
}

void pressButton(HWND box, int buttonId) {
    PostMessageW(GetDlgItem(box, buttonId), BM_CLICK, 0, 0);
}

std::wstring buttonText(HWND box, int buttonId) {
    return textOf(GetDlgItem(box, buttonId));
}

HWND focusOf(HWND anyWindowOfThread) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    const DWORD thread = GetWindowThreadProcessId(anyWindowOfThread, nullptr);
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

void postKey(HWND target, UINT virtualKey) {
    const UINT scanCode = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, virtualKey, 1 | (static_cast<LPARAM>(scanCode) << 16));
    PostMessageW(target, WM_KEYUP, virtualKey,
                 1 | (static_cast<LPARAM>(scanCode) << 16) | (3LL << 30));
}

void typeCharacter(HWND target, wchar_t character) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(target, WM_CHAR, character, 1, SMTO_ABORTIFHUNG, crossProcessTimeoutMs,
                        &result);
}

void clickButton(HWND button) {
    PostMessageW(button, BM_CLICK, 0, 0);
}

void mouseClickAt(POINT screenPoint) {
    SetCursorPos(screenPoint.x, screenPoint.y);
    Sleep(50);
    INPUT presses[2] = {};
    presses[0].type = INPUT_MOUSE;
    presses[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    presses[1].type = INPUT_MOUSE;
    presses[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &presses[0], sizeof(INPUT));
    Sleep(30);
    SendInput(1, &presses[1], sizeof(INPUT));
}

} // namespace velkora::test

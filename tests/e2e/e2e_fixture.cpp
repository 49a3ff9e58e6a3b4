#include "tests/e2e/e2e_fixture.h"

namespace velkora::test {

namespace {

HWND directChildNot(HWND parent, const std::wstring& className, bool wantClass) {
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        const bool isClass = _wcsicmp(classOf(child).c_str(), className.c_str()) == 0;
        if (isClass == wantClass) {
            return child;
        }
    }
    return nullptr;
}

HWND staticNotAmong(HWND frame, std::initializer_list<HWND> known) {
    for (HWND child = GetWindow(frame, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (_wcsicmp(classOf(child).c_str(), L"Static") != 0) {
            continue;
        }
        bool isKnown = false;
        for (HWND k : known) {
            isKnown = isKnown || k == child;
        }
        if (!isKnown) {
            return child;
        }
    }
    return nullptr;
}

} // namespace

void VelkoraTest::SetUp() {
    seedListener(portTextsUsed);
    clearRecords();
}

MainWindow VelkoraTest::start() {
    process_.emplace();
    MainWindow window;
    if (!process_->started()) {
        ADD_FAILURE() << "velkora.exe did not start";
        return window;
    }
    window.main = process_->waitForMainWindow(true, waitMs);
    if (window.main == nullptr) {
        ADD_FAILURE() << "the main window did not appear";
        return window;
    }
    window.portFrame = directChildNot(window.main, L"Static", false);
    window.creditLine = directChildNot(window.main, L"Static", true);
    if (window.portFrame != nullptr) {
        window.groupBox = findDescendant(window.portFrame, L"Button", L"Velkora");
        window.currentPortCaption = findDescendant(window.portFrame, L"Static", L"当前远程端口：");
        window.newPortCaption = findDescendant(window.portFrame, L"Static", L"输入更改端口：");
        window.currentPortLabel = findDescendant(window.portFrame, L"Static", L"3389");
        window.notice =
            staticNotAmong(window.portFrame, {window.currentPortCaption, window.currentPortLabel,
                                              window.newPortCaption});
        window.portEdit = findDescendantByClass(window.portFrame, L"Edit");
        window.modifyButton = findDescendant(window.portFrame, L"Button", L"修改");
        window.exitButton = findDescendant(window.portFrame, L"Button", L"退出");
    }
    // Let the first paint finish before anyone looks at the screen.
    waitUntil([&] { return GetUpdateRect(window.main, nullptr, FALSE) == FALSE; }, 2000);
    Sleep(200);
    return window;
}

std::optional<SeenMessageBox> VelkoraTest::startExpectingError(bool& windowShown) {
    process_.emplace();
    windowShown = false;
    if (!process_->started()) {
        ADD_FAILURE() << "velkora.exe did not start";
        return std::nullopt;
    }
    std::optional<SeenMessageBox> box;
    waitUntil(
        [&] {
            windowShown = windowShown || process_->waitForMainWindow(true, 0) != nullptr;
            box = waitForMessageBox(process_->id(), 0);
            return box.has_value();
        },
        waitMs);
    if (!box) {
        ADD_FAILURE() << "no error box";
        return std::nullopt;
    }
    Sleep(150); // drawn
    windowShown = windowShown || process_->waitForMainWindow(true, 0) != nullptr;
    return box;
}

SeenMessageBox VelkoraTest::expectMessageBox() {
    const auto box = waitForMessageBox(process_->id(), waitMs);
    if (!box) {
        ADD_FAILURE() << "no message box appeared";
        return {};
    }
    Sleep(150); // drawn
    return *box;
}

void VelkoraTest::screenshot(HWND window, const std::wstring& name) {
    captureWindow(window).save(name);
}

void VelkoraTest::type(const MainWindow& window, const std::wstring& text) {
    for (wchar_t character : text) {
        typeCharacter(window.portEdit, character);
    }
}

std::wstring withoutMnemonic(const std::wstring& caption) {
    std::wstring plain;
    for (wchar_t c : caption) {
        if (c != L'&') {
            plain += c;
        }
    }
    // "是(Y)" style accelerators count as the same caption.
    if (plain.size() > 3 && plain[plain.size() - 3] == L'(' && plain.back() == L')') {
        plain.resize(plain.size() - 3);
    }
    return plain;
}

} // namespace velkora::test

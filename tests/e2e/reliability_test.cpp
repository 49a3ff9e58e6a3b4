// Bad input through the real window, as a paste brings it past the keystroke filter, and a
// current-port value of the wrong type at start.
#include "tests/e2e/e2e_fixture.h"

namespace velkora::test {
namespace {

const std::wstring emptyTitle = L"端口不能为空";
const std::wstring formatTitle = L"端口格式错误";
const std::wstring largeTitle = L"端口数字过大";
const std::wstring smallTitle = L"端口数字过小";

struct BadInput {
    std::wstring text;
    const std::wstring& title;
};

std::vector<BadInput> badInputs() {
    std::wstring junk;
    for (int i = 0; i < 100000; ++i) {
        junk += static_cast<wchar_t>(L"a9Z-+. ,\\/:*?"[i % 13]);
    }
    return {
        {L"", emptyTitle},
        {L" ", formatTitle},
        {L"   ", formatTitle},
        {L" 80", formatTitle},
        {L"80 ", formatTitle},
        {L"+80", formatTitle},
        {L"-1", formatTitle},
        {L"-0", formatTitle},
        {L"80.0", formatTitle},
        {L"8,080", formatTitle},
        {L"8e2", formatTitle},
        {L"1E3", formatTitle},
        {L"0x50", formatTitle},
        {L"８０", formatTitle}, // full-width digits
        {L"٣٣٨٩", formatTitle}, // Arabic-Indic digits
        {L"۳۳۸۹", formatTitle}, // extended Arabic-Indic digits
        {L"8\t0", formatTitle},
        {L"\x01\x02\x1b", formatTitle},
        {L"C:\\Windows\\System32\\cmd.exe", formatTitle},
        {L"..\\..\\3389", formatTitle},
        {L"😀", formatTitle},
        {L"80😀", formatTitle},
        {std::wstring(1, static_cast<wchar_t>(0xD83D)) + L"80", formatTitle}, // lone surrogate
        {L"65535abc", formatTitle},
        {junk, formatTitle},
        {L"0", smallTitle},
        {L"00000", smallTitle},
        {L"65536", largeTitle},
        {L"0000065536", largeTitle},
        {L"99999999999999999999", largeTitle},
        {std::wstring(400, L'9'), largeTitle},
        {std::wstring(10000, L'9'), largeTitle},
        {L"1" + std::wstring(9999, L'0'), largeTitle},
    };
}

size_t visibleBoxesOf(DWORD processId) {
    size_t count = 0;
    for (HWND box : topLevelWindowsOf(processId, L"#32770")) {
        count += IsWindowVisible(box) ? 1 : 0;
    }
    return count;
}

TEST_F(VelkoraTest, EveryPastedBadTextGetsExactlyOneRejectionAndChangesNothing) {
    const ToolRegistryState before = toolRegistryState();
    const MainWindow window = start();
    ASSERT_NE(window.modifyButton, nullptr);

    const std::vector<BadInput> inputs = badInputs();
    ASSERT_GE(inputs.size(), 25u);
    for (size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE("bad input #" + std::to_string(i) + " of length " +
                     std::to_string(inputs[i].text.size()));
        setText(window.portEdit, inputs[i].text);
        clickButton(window.modifyButton);

        const SeenMessageBox box = expectMessageBox();
        ASSERT_NE(box.box, nullptr);
        EXPECT_EQ(box.title, inputs[i].title);
        EXPECT_EQ(visibleBoxesOf(process_->id()), 1u);
        pressButton(box.box, IDOK);
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(box.box); }, 5000));
        Sleep(100);
        EXPECT_EQ(visibleBoxesOf(process_->id()), 0u) << "a second box followed";
        ASSERT_TRUE(process_->running()) << "the program ended";
        EXPECT_TRUE(toolRegistryState() == before) << "the registry changed";
    }
    EXPECT_TRUE(IsWindowVisible(window.main));
    EXPECT_TRUE(recordedCalls(L"shutdown").empty());
}

TEST_F(VelkoraTest, CurrentPortOfTheWrongTypeReportsAnErrorAndEndsWithoutTheWindow) {
    const StoredValue binary{REG_BINARY, {0x3D, 0x0D, 0x00, 0x00}};
    writeValue(listenerTdsKey, L"PortNumber", binary);
    ASSERT_TRUE(readValue(listenerTdsKey, L"PortNumber") == binary);
    const ToolRegistryState before = toolRegistryState();

    bool windowShown = false;
    const std::optional<SeenMessageBox> box = startExpectingError(windowShown);
    ASSERT_TRUE(box.has_value());
    screenshot(box->box, L"startup-wrong-type");
    EXPECT_EQ(box->title, applicationTitle);
    EXPECT_NE(box->prompt.find(L"运行时错误"), std::wstring::npos) << "not an error report";
    pressButton(box->box, IDOK);
    EXPECT_TRUE(process_->waitForExit(5000)) << "the program did not end after the report";
    EXPECT_EQ(process_->exitCode(), 1u);
    EXPECT_FALSE(windowShown) << "the main window was shown";
    EXPECT_TRUE(toolRegistryState() == before) << "the program wrote";
}

} // namespace
} // namespace velkora::test

// A start-up that cannot read the current port: the error box, and no window.
#include <cwctype>

#include "tests/e2e/e2e_fixture.h"

namespace velkora::test {
namespace {

// True when the text holds the number as a whole token, not inside a longer number.
bool mentionsNumber(const std::wstring& text, const std::wstring& number) {
    for (size_t at = text.find(number); at != std::wstring::npos; at = text.find(number, at + 1)) {
        const bool digitBefore = at > 0 && std::iswdigit(text[at - 1]);
        const bool digitAfter =
            at + number.size() < text.size() && std::iswdigit(text[at + number.size()]);
        if (!digitBefore && !digitAfter) {
            return true;
        }
    }
    return false;
}

TEST_F(VelkoraTest, MissingCurrentPortReportsErrorTwoAndEndsWithoutShowingTheWindow) {
    deleteValue(listenerTdsKey, L"PortNumber");
    bool windowShown = false;
    const std::optional<SeenMessageBox> box = startExpectingError(windowShown);
    ASSERT_TRUE(box.has_value());
    screenshot(box->box, L"startup-error");

    EXPECT_EQ(box->title, applicationTitle);
    EXPECT_TRUE(mentionsNumber(box->prompt, L"2")) << "the error number 2 is not shown";
    const size_t lineBreak = box->prompt.find(L'\n');
    ASSERT_NE(lineBreak, std::wstring::npos) << "no description under the number";
    EXPECT_NE(box->prompt.find_first_not_of(L"\r\n ", lineBreak), std::wstring::npos)
        << "the description is empty";
    EXPECT_FALSE(windowShown) << "the main window was shown";

    pressButton(box->box, IDOK);
    EXPECT_TRUE(process_->waitForExit(5000)) << "the program did not end after the report";
    EXPECT_EQ(process_->exitCode(), 1u) << "a caller must be able to tell the failure";
    EXPECT_FALSE(windowShown);
    EXPECT_FALSE(readValue(listenerTdsKey, L"PortNumber").has_value()) << "the program wrote";
    EXPECT_EQ(readDword(listenerRdpTcpKey, L"PortNumber"), 3389u);
}

} // namespace
} // namespace velkora::test

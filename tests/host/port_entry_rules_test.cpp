#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>

#include "logic/port_entry_rules.h"
#include "tests/host/fakes.h"
#include "tests/common/test_helpers.h"

namespace velkora::test {
namespace {

TEST(FilterPortKey, PassesExactlyDigitsBackspaceAnd127OverEverySixteenBitCode) {
    int passed = 0;
    for (int code = std::numeric_limits<std::int16_t>::min();
         code <= std::numeric_limits<std::int16_t>::max(); ++code) {
        std::int16_t key = static_cast<std::int16_t>(code);
        filterPortKey(key);
        const bool shouldPass = code == 8 || code == 127 || (code >= 48 && code <= 57);
        if (shouldPass) {
            ASSERT_EQ(key, code) << "code " << code << " must reach the field unchanged";
            ++passed;
        } else {
            ASSERT_EQ(key, 0) << "code " << code << " must be discarded";
        }
    }
    EXPECT_EQ(passed, 12);
}

TEST(FilterPortKey, DiscardsTheKeysAnAdministratorMightTry) {
    // Enter, space, signs, separators, Ctrl+C / Ctrl+V / Ctrl+X, a full-width digit.
    for (int code : {13, 32, 43, 45, 46, 44, 3, 22, 24, 0xFF10 - 0x10000, int('a'), int('E')}) {
        std::int16_t key = static_cast<std::int16_t>(code);
        filterPortKey(key);
        EXPECT_EQ(key, 0) << "code " << code;
    }
}

struct ValidationCase {
    const char* label;
    std::wstring text;
    ValidationResult expected;
};

std::ostream& operator<<(std::ostream& out, const ValidationCase& c) {
    return out << c.label;
}

class ValidatePortText : public ::testing::TestWithParam<ValidationCase> {};

TEST_P(ValidatePortText, GivesTheResultOfTheFirstFailingCheck) {
    EXPECT_EQ(validatePortText(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ValidatePortText,
    ::testing::Values(
        ValidationCase{"empty", L"", ValidationResult::Empty},
        ValidationCase{"zero", L"0", ValidationResult::TooSmall},
        ValidationCase{"two_zeros", L"00", ValidationResult::TooSmall},
        ValidationCase{"many_zeros", std::wstring(400, L'0'), ValidationResult::TooSmall},
        ValidationCase{"one", L"1", ValidationResult::Accepted},
        ValidationCase{"leading_zero", L"080", ValidationResult::Accepted},
        ValidationCase{"usual_port", L"3389", ValidationResult::Accepted},
        ValidationCase{"limit", L"65535", ValidationResult::Accepted},
        ValidationCase{"limit_with_zeros", L"00000065535", ValidationResult::Accepted},
        ValidationCase{"one_after_400_zeros", std::wstring(400, L'0') + L"1",
                       ValidationResult::Accepted},
        ValidationCase{"just_over", L"65536", ValidationResult::TooLarge},
        ValidationCase{"just_over_with_zeros", L"000065536", ValidationResult::TooLarge},
        ValidationCase{"same_length_larger", L"99999", ValidationResult::TooLarge},
        ValidationCase{"same_length_first_digit", L"70000", ValidationResult::TooLarge},
        ValidationCase{"same_length_last_digit_smaller", L"65529", ValidationResult::Accepted},
        ValidationCase{"six_digits", L"100000", ValidationResult::TooLarge},
        ValidationCase{"wraps_16_bit", L"65537", ValidationResult::TooLarge},
        ValidationCase{"wraps_32_bit", L"4294967296", ValidationResult::TooLarge},
        ValidationCase{"twenty_nines", std::wstring(20, L'9'), ValidationResult::TooLarge},
        ValidationCase{"four_hundred_nines", std::wstring(400, L'9'), ValidationResult::TooLarge},
        ValidationCase{"letters", L"abc", ValidationResult::NotANumber},
        ValidationCase{"leading_space", L" 80", ValidationResult::NotANumber},
        ValidationCase{"trailing_space", L"80 ", ValidationResult::NotANumber},
        ValidationCase{"plus", L"+80", ValidationResult::NotANumber},
        ValidationCase{"minus", L"-1", ValidationResult::NotANumber},
        ValidationCase{"exponent", L"8e2", ValidationResult::NotANumber},
        ValidationCase{"group_separator", L"1,000", ValidationResult::NotANumber},
        ValidationCase{"decimal_point", L"80.0", ValidationResult::NotANumber},
        ValidationCase{"full_width_digits", L"\uFF18\uFF10", ValidationResult::NotANumber},
        ValidationCase{"arabic_indic_digits", L"\u0668\u0660", ValidationResult::NotANumber},
        ValidationCase{"tab", L"\t80", ValidationResult::NotANumber},
        ValidationCase{"line_break", L"80\r\n", ValidationResult::NotANumber},
        ValidationCase{"embedded_nul",
                       std::wstring(L"80\0"
                                    L"1",
                                    4),
                       ValidationResult::NotANumber},
        ValidationCase{"mixed", L"8a0", ValidationResult::NotANumber},
        ValidationCase{"hex", L"0x50", ValidationResult::NotANumber},
        ValidationCase{"only_space", L" ", ValidationResult::NotANumber},
        ValidationCase{"lone_surrogate", L"8\xD800", ValidationResult::NotANumber},
        // Not a number beats too large: a long text with one letter is a format error.
        ValidationCase{"long_with_letter", std::wstring(30, L'9') + L"x",
                       ValidationResult::NotANumber},
        ValidationCase{"zeros_with_letter", L"00a", ValidationResult::NotANumber}),
    CaseLabel());

struct RejectionCase {
    const char* label;
    ValidationResult result;
    std::wstring prompt;
    std::wstring title;
};

std::ostream& operator<<(std::ostream& out, const RejectionCase& c) {
    return out << c.label;
}

class ReportRejection : public ::testing::TestWithParam<RejectionCase> {};

TEST_P(ReportRejection, ShowsOneExclamationBoxWithItsPromptAndTitle) {
    FakeMessageBoxService messages;
    reportRejection(GetParam().result, messages);

    ASSERT_EQ(messages.boxes().size(), 1u);
    const auto& box = messages.boxes()[0];
    EXPECT_EQ(box.prompt, GetParam().prompt);
    EXPECT_EQ(box.title, std::optional<std::wstring>(GetParam().title));
    EXPECT_EQ(box.style, 48);
}

INSTANTIATE_TEST_SUITE_P(Boxes, ReportRejection,
                         ::testing::Values(RejectionCase{"Empty", ValidationResult::Empty,
                                                         L"端口不能为空", L"端口不能为空"},
                                           RejectionCase{"TooLarge", ValidationResult::TooLarge,
                                                         L"端口最大值仅支持65535", L"端口数字过大"},
                                           RejectionCase{"NotANumber", ValidationResult::NotANumber,
                                                         L"端口只能由数字组成", L"端口格式错误"},
                                           RejectionCase{"TooSmall", ValidationResult::TooSmall,
                                                         L"端口最小值为1", L"端口数字过小"}),
                         CaseLabel());

TEST(ReportRejectionOfAcceptedText, ShowsNothing) {
    FakeMessageBoxService messages;
    reportRejection(ValidationResult::Accepted, messages);
    EXPECT_TRUE(messages.boxes().empty());
}

} // namespace
} // namespace velkora::test

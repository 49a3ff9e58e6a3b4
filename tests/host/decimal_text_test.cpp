#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "logic/decimal_text.h"
#include "tests/common/test_helpers.h"

namespace velkora::test {
namespace {

struct DwordTextCase {
    const char* label;
    std::wstring data;
    std::optional<std::uint32_t> stored; // absent: not a number
};

inline const std::vector<DwordTextCase> dwordTextCases = {
    {"Spaced", L" 888 ", 888u},
    {"SpacedLeadingZero", L" 080 ", 80u},
    {"Bare", L"3389", 3389u},
    {"Zero", L"0", 0u},
    {"ManySpaces", L"  1  ", 1u},
    {"Largest", L"4294967295", 4294967295u},
    {"LargestWithZeros", L"0000000000004294967295", 4294967295u},
    {"Overflow", L"4294967296", std::nullopt},
    {"FarOverflow", L"99999999999999999999", std::nullopt},
    {"Empty", L"", std::nullopt},
    {"OnlySpaces", L"   ", std::nullopt},
    {"InnerSpace", L"8 8", std::nullopt},
    {"Negative", L"-1", std::nullopt},
    {"Plus", L"+80", std::nullopt},
    {"Tab", L"\t80", std::nullopt},
    {"LineBreak", L"80\r\n", std::nullopt},
    {"Hex", L"0x50", std::nullopt},
    {"Exponent", L"1e3", std::nullopt},
    {"Decimal", L"80.0", std::nullopt},
    {"Grouped", L"1,000", std::nullopt},
    {"FullWidth", L"８８", std::nullopt},
};

class DecimalText : public ::testing::TestWithParam<DwordTextCase> {};

TEST_P(DecimalText, IsTheNumberItsDigitsDenoteOrNothing) {
    EXPECT_EQ(parseDwordText(GetParam().data), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(Data, DecimalText, ::testing::ValuesIn(dwordTextCases), CaseLabel());

} // namespace
} // namespace velkora::test

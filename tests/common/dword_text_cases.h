#pragma once

// How the registry shell object reads a REG_DWORD datum given as text. One table, run
// against the real shell object (under Wine) and against the host's fake registry, so
// that the fake cannot drift from the real thing.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velkora::test {

struct DwordTextCase {
    const char* label;
    std::wstring data;
    std::optional<std::uint32_t> stored; // absent: refused with error 13, nothing written
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

} // namespace velkora::test

// Feeds arbitrary UTF-16 code units to the port validator and the keystroke filter and checks
// them against an oracle that decides the same questions by a different computation.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "logic/port_entry_rules.h"

namespace {

using velkora::ValidationResult;

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Saturating decimal value: anything from 65536 upward counts as 65536.
ValidationResult oracle(const std::wstring& text) {
    if (text.empty()) {
        return ValidationResult::Empty;
    }
    std::uint32_t value = 0;
    for (wchar_t c : text) {
        const auto unit = static_cast<std::uint32_t>(c);
        if (unit < 0x30 || unit > 0x39) {
            return ValidationResult::NotANumber;
        }
        value = value * 10 + (unit - 0x30);
        if (value > 65535) {
            value = 65536;
        }
    }
    if (value == 65536) {
        return ValidationResult::TooLarge;
    }
    return value == 0 ? ValidationResult::TooSmall : ValidationResult::Accepted;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    }

    const ValidationResult result = velkora::validatePortText(text);
    check(result == oracle(text), "validator disagrees with the oracle");

    if (result == ValidationResult::Accepted) {
        // An accepted text, stripped of its leading zeros, is the decimal form of 1..65535.
        const std::size_t first = text.find_first_not_of(L'0');
        check(first != std::wstring::npos, "accepted text has a non-zero digit");
        const std::wstring significant = text.substr(first);
        const unsigned long value = std::wcstoul(significant.c_str(), nullptr, 10);
        check(value >= 1 && value <= 65535, "accepted value in range");
        check(std::to_wstring(value) == significant, "accepted text is that value");
    }

    // Every unit through the filter: it passes unchanged or becomes 0, and passes exactly
    // when it is Backspace, 127 or an ASCII digit.
    for (wchar_t c : text) {
        const auto code = static_cast<std::int16_t>(static_cast<std::uint16_t>(c));
        std::int16_t key = code;
        velkora::filterPortKey(key);
        const bool allowed = code == 8 || code == 127 || (code >= 48 && code <= 57);
        check(allowed ? key == code : key == 0, "filter keeps exactly the allowed codes");
    }
    return 0;
}

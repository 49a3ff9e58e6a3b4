#include "logic/port_entry_rules.h"

#include <array>
#include <cstddef>

namespace velkora {
namespace {

constexpr wchar_t portLimitDigits[] = L"65535";

struct RejectionBox {
    ValidationResult result;
    const wchar_t* prompt;
    const wchar_t* title;
    int style;
};

constexpr std::array<RejectionBox, 4> rejectionBoxes{{
    {ValidationResult::Empty, L"端口不能为空", L"端口不能为空", MessageBoxStyle::OkExclamation},
    {ValidationResult::NotANumber, L"端口只能由数字组成", L"端口格式错误",
     MessageBoxStyle::OkExclamation},
    {ValidationResult::TooLarge, L"端口最大值仅支持65535", L"端口数字过大",
     MessageBoxStyle::OkExclamation},
    {ValidationResult::TooSmall, L"端口最小值为1", L"端口数字过小", MessageBoxStyle::OkExclamation},
}};

bool isAsciiDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

bool isPlainDigitRun(const std::wstring& text) {
    for (wchar_t c : text) {
        if (!isAsciiDigit(c)) {
            return false;
        }
    }
    return true;
}

// A digit string of any length is compared with the limit as text, so nothing can overflow:
// without leading zeros, a longer string is larger; one of equal length compares digit by digit.
bool exceedsPortLimit(const std::wstring& digits) {
    const std::size_t firstSignificant = digits.find_first_not_of(L'0');
    if (firstSignificant == std::wstring::npos) {
        return false;
    }
    const std::wstring significant = digits.substr(firstSignificant);
    const std::wstring limit = portLimitDigits;
    if (significant.size() != limit.size()) {
        return significant.size() > limit.size();
    }
    return significant > limit;
}

bool isAllZeros(const std::wstring& digits) {
    return digits.find_first_not_of(L'0') == std::wstring::npos;
}

} // namespace

void filterPortKey(std::int16_t& keyCode) {
    if (keyCode == 127 || keyCode == 8) {
        return;
    }
    if (keyCode >= 48 && keyCode <= 57) {
        return;
    }
    keyCode = 0;
}

ValidationResult validatePortText(const std::wstring& text) {
    if (text.empty()) {
        return ValidationResult::Empty;
    }
    if (!isPlainDigitRun(text)) {
        return ValidationResult::NotANumber;
    }
    if (exceedsPortLimit(text)) {
        return ValidationResult::TooLarge;
    }
    if (isAllZeros(text)) {
        return ValidationResult::TooSmall;
    }
    return ValidationResult::Accepted;
}

RejectionTexts rejectionTexts(ValidationResult result) {
    for (const RejectionBox& box : rejectionBoxes) {
        if (box.result == result) {
            return {box.prompt, box.title};
        }
    }
    return {};
}

void reportRejection(ValidationResult result, MessageBoxService& messages) {
    for (const RejectionBox& box : rejectionBoxes) {
        if (box.result == result) {
            messages.messageBox(box.prompt, box.style, std::wstring(box.title));
            return;
        }
    }
}

} // namespace velkora

#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "platform/error_numbers.h"

namespace velkora {

// A failure of a platform service: a number (a Win32 code, or an HRESULT for COM)
// and a description for the user. Handlers let it travel up to the window's
// event dispatch, which hands it to the error report.
class PlatformError : public std::exception {
public:
    PlatformError(long number, std::wstring description, bool changeLeftBehind = false)
        : number_(number), description_(std::move(description)),
          changeLeftBehind_(changeLeftBehind) {}

    long number() const noexcept { return number_; }
    const std::wstring& description() const noexcept { return description_; }
    // True when a change failed and putting it back failed too: something is left changed.
    bool changeLeftBehind() const noexcept { return changeLeftBehind_; }
    const char* what() const noexcept override { return "velkora::PlatformError"; }

private:
    long number_;
    std::wstring description_;
    bool changeLeftBehind_;
};

// An error number as the user sees it: a Win32 code in decimal, an HRESULT (negative as a
// long) as 0x and eight hexadecimal digits.
inline std::wstring errorNumberText(long number) {
    if (number >= 0) {
        return std::to_wstring(number);
    }
    static const wchar_t hexDigits[] = L"0123456789ABCDEF";
    const auto bits = static_cast<std::uint32_t>(number);
    std::wstring text = L"0x";
    for (int shift = 28; shift >= 0; shift -= 4) {
        text += hexDigits[(bits >> shift) & 0xF];
    }
    return text;
}

} // namespace velkora

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
    PlatformError(long number, std::wstring description, bool changeLeftBehind = false);
    PlatformError(long number, std::wstring description, bool changeLeftBehind, std::wstring call);

    // Out of line: an error is copied in many places, and each copy would hold its texts' code.
    PlatformError(const PlatformError& other);
    PlatformError(PlatformError&& other) noexcept;
    PlatformError& operator=(const PlatformError& other);
    PlatformError& operator=(PlatformError&& other) noexcept;
    ~PlatformError() override;

    long number() const noexcept { return number_; }
    const std::wstring& description() const noexcept { return description_; }
    // True when a change failed and putting it back failed too: something is left changed.
    bool changeLeftBehind() const noexcept { return changeLeftBehind_; }
    // The system call that failed and what it was called on ("RegSetValueExW
    // HKEY_LOCAL_MACHINE\...\PortNumber"), for the logs; empty for an error the tool raises
    // by its own decision. Never shown in the window's error box.
    const std::wstring& call() const noexcept { return call_; }
    const char* what() const noexcept override { return "velkora::PlatformError"; }

private:
    long number_;
    std::wstring description_;
    bool changeLeftBehind_;
    std::wstring call_;
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

// The failing call in parentheses, after a space, as the logs add it to a description; nothing
// when the error names no call.
inline std::wstring callNote(const PlatformError& error) {
    return error.call().empty() ? std::wstring() : L" (" + error.call() + L")";
}

// "error N: description (call)", as the result log's lines end.
inline std::wstring errorLogText(const PlatformError& error) {
    return L"error " + std::to_wstring(error.number()) + L": " + error.description() +
           callNote(error);
}

} // namespace velkora

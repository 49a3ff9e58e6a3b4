#pragma once

#include <exception>
#include <string>

namespace velkora {

// A failure of a platform service: a number (a Win32 code, or an HRESULT for COM)
// and a description for the user. Handlers let it travel up to the window's
// event dispatch, which hands it to the error report.
class PlatformError : public std::exception {
public:
    PlatformError(long number, std::wstring description)
        : number_(number), description_(std::move(description)) {}

    long number() const noexcept { return number_; }
    const std::wstring& description() const noexcept { return description_; }
    const char* what() const noexcept override { return "velkora::PlatformError"; }

private:
    long number_;
    std::wstring description_;
};

} // namespace velkora

#include "platform/win32/runtime/win32_error.h"

#include "platform/win32/runtime/unique_handles.h"

namespace velkora::win32 {
namespace {

// The tool's own names for its error numbers are the system's.
static_assert(ErrorNumber::FileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(ErrorNumber::AccessDenied == ERROR_ACCESS_DENIED);
static_assert(ErrorNumber::InvalidHandle == ERROR_INVALID_HANDLE);
static_assert(ErrorNumber::NotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY);
static_assert(ErrorNumber::InvalidData == ERROR_INVALID_DATA);
static_assert(ErrorNumber::GenFailure == ERROR_GEN_FAILURE);
static_assert(ErrorNumber::InvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(ErrorNumber::InsufficientBuffer == ERROR_INSUFFICIENT_BUFFER);
static_assert(ErrorNumber::FileTooLarge == ERROR_FILE_TOO_LARGE);
static_assert(ErrorNumber::FileInvalid == ERROR_FILE_INVALID);
static_assert(ErrorNumber::InvalidServiceControl == ERROR_INVALID_SERVICE_CONTROL);
static_assert(ErrorNumber::ServiceRequestTimeout == ERROR_SERVICE_REQUEST_TIMEOUT);
static_assert(ErrorNumber::ServiceNotActive == ERROR_SERVICE_NOT_ACTIVE);
static_assert(ErrorNumber::InvalidOwner == ERROR_INVALID_OWNER);
static_assert(ErrorNumber::Timeout == ERROR_TIMEOUT);
static_assert(ErrorNumber::AnotherChangeInProgress == ERROR_INSTALL_ALREADY_RUNNING);
static_assert(ErrorNumber::UnsupportedType == ERROR_UNSUPPORTED_TYPE);
static_assert(ErrorNumber::ResourceDataNotFound == ERROR_RESOURCE_DATA_NOT_FOUND);
static_assert(ErrorNumber::CantAccessFile == ERROR_CANT_ACCESS_FILE);
static_assert(ErrorNumber::InvalidState == ERROR_INVALID_STATE);
static_assert(ErrorNumber::PointerResult == E_POINTER);
static_assert(ErrorNumber::ClassNotRegisteredResult == REGDB_E_CLASSNOTREG);
static_assert(ErrorNumber::FileNotFoundResult == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
static_assert(ErrorNumber::AccessDeniedResult == E_ACCESSDENIED);
static_assert(ErrorNumber::OutOfMemoryResult == E_OUTOFMEMORY);

const wchar_t* const noDescription = L"系统没有此错误的说明。";

std::wstring formatMessage(DWORD code, DWORD languageId) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, code, languageId, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    UniqueLocalMemory owner(buffer);
    if (length == 0 || buffer == nullptr) {
        return {};
    }
    std::wstring text(buffer, length);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) {
        text.pop_back();
    }
    return text;
}

std::wstring describe(DWORD code) {
    const DWORD languages[] = {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), 0};
    for (DWORD language : languages) {
        std::wstring text = formatMessage(code, language);
        if (!text.empty()) {
            return text;
        }
    }
    return {};
}

} // namespace

std::wstring systemErrorText(DWORD code) {
    std::wstring text = describe(code);
    // A wrapped Win32 code is described by the code itself where the system has no text
    // for the HRESULT.
    if (text.empty() && HRESULT_FACILITY(code) == FACILITY_WIN32 && (code & 0x80000000u) != 0) {
        text = describe(HRESULT_CODE(code));
    }
    return text.empty() ? noDescription : text;
}

std::wstring callText(const wchar_t* function, std::wstring_view on) {
    std::wstring text = function;
    if (!on.empty()) {
        text += L' ';
        text += on;
    }
    return text;
}

PlatformError win32Error(DWORD code) {
    return PlatformError(static_cast<long>(code), systemErrorText(code));
}

PlatformError win32Error(DWORD code, const wchar_t* function, std::wstring_view on) {
    return PlatformError(static_cast<long>(code), systemErrorText(code), false,
                         callText(function, on));
}

PlatformError hresultError(HRESULT hr) {
    return PlatformError(static_cast<long>(hr), systemErrorText(static_cast<DWORD>(hr)));
}

PlatformError hresultError(HRESULT hr, const wchar_t* function, std::wstring_view on) {
    return PlatformError(static_cast<long>(hr), systemErrorText(static_cast<DWORD>(hr)), false,
                         callText(function, on));
}

void throwWin32(DWORD code) {
    throw win32Error(code);
}

void throwWin32(DWORD code, const wchar_t* function, std::wstring_view on) {
    throw win32Error(code, function, on);
}

void throwLastError(const wchar_t* function, std::wstring_view on) {
    const DWORD code = GetLastError();
    throwWin32(code != ERROR_SUCCESS ? code : ErrorNumber::GenFailure, function, on);
}

void checkWin32(LSTATUS status, const wchar_t* function, std::wstring_view on) {
    if (status != ERROR_SUCCESS) {
        throwWin32(static_cast<DWORD>(status), function, on);
    }
}

void checkHr(HRESULT hr, const wchar_t* function, std::wstring_view on) {
    if (FAILED(hr)) {
        throw hresultError(hr, function, on);
    }
}

} // namespace velkora::win32

#include "platform/win32/runtime/win32_error.h"

#include "platform/win32/runtime/unique_handles.h"

namespace velkora::win32 {
namespace {

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

PlatformError win32Error(DWORD code) {
    return PlatformError(static_cast<long>(code), systemErrorText(code));
}

PlatformError hresultError(HRESULT hr) {
    return PlatformError(static_cast<long>(hr), systemErrorText(static_cast<DWORD>(hr)));
}

void throwWin32(DWORD code) {
    throw win32Error(code);
}

void throwLastError() {
    const DWORD code = GetLastError();
    throwWin32(code != ERROR_SUCCESS ? code : ERROR_GEN_FAILURE);
}

void checkWin32(LSTATUS status) {
    if (status != ERROR_SUCCESS) {
        throwWin32(static_cast<DWORD>(status));
    }
}

void checkHr(HRESULT hr) {
    if (FAILED(hr)) {
        throw hresultError(hr);
    }
}

} // namespace velkora::win32

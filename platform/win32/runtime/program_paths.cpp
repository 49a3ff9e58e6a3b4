#include "platform/win32/runtime/program_paths.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {

namespace {

// The text a Win32 call writes into a buffer, for calls that return the length written, or,
// when the buffer is too small, the buffer's size (truncated) or the size they need. The
// buffer grows until the text fits; it stops at twice the longest path Windows allows.
template <typename Fill>
std::wstring textThatFits(const wchar_t* function, std::size_t initialSize, Fill fill) {
    std::wstring text(std::max<std::size_t>(initialSize, 1), L'\0');
    for (;;) {
        const std::size_t length = fill(text.data(), text.size());
        if (length == 0) {
            throwLastError(function);
        }
        if (length < text.size()) {
            text.resize(length);
            return text;
        }
        if (text.size() >= 32768 * 2) {
            throwWin32(ErrorNumber::InsufficientBuffer);
        }
        text.resize(std::max(length, text.size() * 2));
    }
}

} // namespace

std::wstring ModuleProgramFolder::programFolder() {
    const std::wstring path = executablePath();
    const std::size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring executablePath(std::size_t initialBufferSize) {
    return textThatFits(L"GetModuleFileNameW", initialBufferSize,
                        [](wchar_t* buffer, std::size_t size) {
                            return GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(size));
                        });
}

std::wstring systemDirectory() {
    std::wstring directory =
        textThatFits(L"GetSystemDirectoryW", MAX_PATH, [](wchar_t* buffer, std::size_t size) {
            return GetSystemDirectoryW(buffer, static_cast<UINT>(size));
        });
    while (!directory.empty() && directory.back() == L'\\') {
        directory.pop_back();
    }
    return directory;
}

} // namespace velkora::win32

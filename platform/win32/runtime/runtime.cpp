#include "platform/win32/runtime/runtime.h"

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

Date SystemClock::today() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return Date{now.wYear, now.wMonth, now.wDay};
}

std::chrono::milliseconds SystemClock::now() {
    return std::chrono::milliseconds(GetTickCount64());
}

void SystemClock::sleepFor(std::chrono::milliseconds duration) {
    Sleep(static_cast<DWORD>(duration.count()));
}

std::int64_t SystemClock::utcSeconds() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const std::int64_t ticks = (static_cast<std::int64_t>(now.dwHighDateTime) << 32) |
                               now.dwLowDateTime; // 100 ns since 1601
    constexpr std::int64_t from1601To1970 = 11644473600;
    return ticks / 10000000 - from1601To1970;
}

std::wstring ModuleProgramFolder::programFolder() {
    const std::wstring path = executablePath();
    const std::size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

void ProcessProgramEnd::endProgram(int exitCode) {
    ExitProcess(static_cast<UINT>(exitCode));
}

std::wstring errorReportText(long number, const std::wstring& description) {
    return L"运行时错误 '" + errorNumberText(number) + L"':\r\n\r\n" + description;
}

void MessageBoxErrorReport::report(const PlatformError& error) {
    messages_.messageBox(errorReportText(error.number(), error.description()),
                         MessageBoxStyle::OkCritical, std::nullopt);
    end_.endProgram(ExitCode::AfterError);
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

HMODULE loadSystemLibrary(const wchar_t* name) {
    return loadLibraryFrom(systemDirectory(), name, librarySearchFlagsKnown());
}

bool librarySearchFlagsKnown() {
    return GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory") != nullptr;
}

HMODULE loadLibraryFrom(const std::wstring& folder, const wchar_t* name, bool searchFlagsKnown) {
    constexpr DWORD searchSystem32 = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32
    const std::wstring path = folder + L"\\" + name;
    return checked(
        LoadLibraryExW(path.c_str(), nullptr,
                       searchFlagsKnown ? searchSystem32 : LOAD_WITH_ALTERED_SEARCH_PATH),
        L"LoadLibraryExW", path);
}

FARPROC systemProcedure(HMODULE module, const char* name) {
    const FARPROC procedure = GetProcAddress(module, name);
    if (procedure == nullptr) {
        throwLastError(L"GetProcAddress",
                       std::wstring(name, name + std::char_traits<char>::length(name)));
    }
    return procedure;
}

} // namespace velkora::win32
